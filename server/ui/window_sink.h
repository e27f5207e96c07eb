// Where the server's events go in window mode: every line into the activity log, and into the
// main window's lists; error boxes onto the window thread. Lines that come before the window has
// registered itself (the listener starts before the window is built) are kept, up to the lists'
// sizes, and handed to the window when it registers.
//
// Thread safety: the sink methods may be called from any thread and never wait for the window
// thread. Register/Unregister run on the window thread; Unregister returns only when no other
// thread is still inside the window, so the window may be destroyed afterwards.
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <utility>

#include "common/event_sink.h"

namespace kt::ui {

class LineLog;
class WINSTARTING;

class WindowSink : public EventSink {
 public:
  // `log` may be null (no activity log); it must outlive the sink.
  explicit WindowSink(LineLog* log) : log_(log) {}

  void Register(WINSTARTING* window);
  void Unregister();

  // How an error box is shown (on the window thread). Unset: error boxes only reach the log.
  void SetErrorBox(std::function<void(const std::string&)> show) { error_box_ = std::move(show); }

  // EventSink
  void ConnectedInfo(std::string_view text) override;
  void ScanInfo(std::string_view text) override;
  void ErrorBox(std::string_view text) override;

 private:
  static constexpr std::size_t kEarlyLines = 101;

  // Keeps a line for the window to come; drops it rather than wait.
  void KeepEarly(bool scan, std::string_view text);

  LineLog* const log_;
  std::function<void(const std::string&)> error_box_;  // set before other threads start
  std::shared_mutex window_mutex_;
  WINSTARTING* window_ = nullptr;  // guarded by window_mutex_
  bool registered_once_ = false;   // guarded by window_mutex_
  std::mutex early_mutex_;
  std::deque<std::pair<bool, std::string>> early_;  // guarded by early_mutex_; true: scan list
};

}  // namespace kt::ui
