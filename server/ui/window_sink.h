// Where the server's events go in window mode: every line into the activity log, and into the
// main window's lists once the window has registered itself; error boxes onto the window thread.
//
// Thread safety: the sink methods may be called from any thread and never wait for the window
// thread. Register/Unregister run on the window thread; Unregister returns only when no other
// thread is still inside the window, so the window may be destroyed afterwards.
#pragma once

#include <functional>
#include <shared_mutex>
#include <string>
#include <string_view>

#include "server/data/event_sink.h"
#include "server/net/log_sink.h"

namespace kt::ui {

class LineLog;
class WINSTARTING;

class WindowSink : public data::EventSink, public net::LogSink {
 public:
  // `log` may be null (no activity log); it must outlive the sink.
  explicit WindowSink(LineLog* log) : log_(log) {}

  void Register(WINSTARTING* window);
  void Unregister();

  // How an error box is shown (on the window thread). Unset: error boxes only reach the log.
  void SetErrorBox(std::function<void(const std::string&)> show) { error_box_ = std::move(show); }

  // data::EventSink
  void ConnectedInfo(std::string_view text) override;
  void ScanInfo(std::string_view text) override;
  void ErrorBox(std::string_view text) override;
  // net::LogSink
  void AddConnectedInfo(std::string_view line) override { ConnectedInfo(line); }
  void AddScanInfo(std::string_view line) override { ScanInfo(line); }

 private:
  LineLog* const log_;
  std::function<void(const std::string&)> error_box_;  // set before other threads start
  std::shared_mutex window_mutex_;
  WINSTARTING* window_ = nullptr;  // guarded by window_mutex_
};

}  // namespace kt::ui
