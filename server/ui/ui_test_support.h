// Shared pieces of the window tests: a temporary working folder with a settings table, a server
// whose self-test flags and database state the test sets, and prompts that record instead of asking a person.
#pragma once

#include <unistd.h>

#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

#include "server/data/global_variable.h"
#include "server/data/settings_table.h"
#include "server/ui/prompts.h"
#include "server/ui/server_control.h"

namespace kt::ui::testing {

class TempFolder {
 public:
  explicit TempFolder(const std::string& tag) {
    path_ = std::filesystem::temp_directory_path() / ("kt_ui_" + tag + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    if (std::getenv("KT_KEEP_TEST_FOLDERS") != nullptr) return;  // for looking at what a test left
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// A server whose flags the test sets; StartServer counts calls and notes its thread. With `hold`
// set it waits, as a probe stuck on a blocked port does, until Release() (at most 5 s).
class FakeServer : public ServerControl {
 public:
  void StartServer() override {
    probe_thread = std::this_thread::get_id();
    ++starts;
    std::unique_lock lock(mutex_);
    released_cv_.wait_for(lock, std::chrono::seconds(5), [this] { return !hold || released_; });
  }
  void Release() {
    std::scoped_lock lock(mutex_);
    released_ = true;
    released_cv_.notify_all();
  }
  bool Listening() const override { return listening; }
  bool ProbeSent() const override { return probe_sent; }
  bool SelfTestPassed() const override { return passed; }
  uint16_t Port() const override { return port; }
  bool RetryDatabase() override { return false; }
  bool DatabaseOpen() const override { return database_open; }

  std::atomic<int> starts{0};
  std::thread::id probe_thread;  // written before `starts` counts the call
  bool hold = false;
  bool listening = true;
  bool probe_sent = true;
  bool passed = false;
  uint16_t port = 9101;
  bool database_open = true;

 private:
  std::mutex mutex_;
  std::condition_variable released_cv_;
  bool released_ = false;  // guarded by mutex_
};

// Prompts that record their texts; confirm answers `answer`.
struct RecordedPrompts {
  QStringList errors;
  QStringList infos;
  QStringList questions;
  bool answer = false;

  Prompts Make() {
    Prompts p;
    p.confirm = [this](QWidget*, const QString& text) {
      questions << text;
      return answer;
    };
    p.error = [this](QWidget*, const QString& text) { errors << text; };
    p.info = [this](QWidget*, const QString& title, const QString& text) { infos << title + "|" + text; };
    return p;
  }
};

}  // namespace kt::ui::testing
