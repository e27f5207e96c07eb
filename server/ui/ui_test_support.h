// Shared pieces of the window tests: a temporary working folder with a settings table, a server
// whose self-test flags the test sets, and prompts that record instead of asking a person.
#pragma once

#include <unistd.h>

#include <QString>
#include <QStringList>

#include <cstdlib>
#include <filesystem>
#include <string>

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

// A server whose flags the test sets; StartServer only counts calls.
class FakeServer : public ServerControl {
 public:
  void StartServer() override { ++starts; }
  bool Listening() const override { return listening; }
  bool ProbeSent() const override { return probe_sent; }
  bool SelfTestPassed() const override { return passed; }
  uint16_t Port() const override { return port; }

  int starts = 0;
  bool listening = true;
  bool probe_sent = true;
  bool passed = false;
  uint16_t port = 9101;
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
