#include "server/ui/window_sink.h"

#include <QCoreApplication>
#include <QThread>

#include "server/ui/line_log.h"
#include "server/ui/winstarting.h"

namespace kt::ui {

void WindowSink::Register(WINSTARTING* window) {
  std::unique_lock lock(window_mutex_);
  window_ = window;
  if (window == nullptr || registered_once_) return;
  registered_once_ = true;
  std::deque<std::pair<bool, std::string>> early;
  {
    std::scoped_lock early_lock(early_mutex_);
    early.swap(early_);
  }
  for (const auto& [scan, text] : early) {
    if (scan) {
      window->ADDSCANINFO(text);
    } else {
      window->ADDCONNECTEDINFO(text);
    }
  }
}

void WindowSink::KeepEarly(bool scan, std::string_view text) {
  std::unique_lock lock(early_mutex_, std::try_to_lock);
  if (!lock.owns_lock()) return;
  if (early_.size() >= kEarlyLines) early_.pop_front();
  early_.emplace_back(scan, std::string(text));
}

void WindowSink::Unregister() {
  std::unique_lock lock(window_mutex_);
  window_ = nullptr;
}

void WindowSink::ConnectedInfo(std::string_view text) {
  if (log_ != nullptr) log_->Add("C", text);
  std::shared_lock lock(window_mutex_, std::try_to_lock);
  if (!lock.owns_lock()) return;
  if (window_ != nullptr) {
    window_->ADDCONNECTEDINFO(text);
  } else if (!registered_once_) {
    KeepEarly(false, text);
  }
}

void WindowSink::ScanInfo(std::string_view text) {
  if (log_ != nullptr) log_->Add("S", text);
  std::shared_lock lock(window_mutex_, std::try_to_lock);
  if (!lock.owns_lock()) return;
  if (window_ != nullptr) {
    window_->ADDSCANINFO(text);
  } else if (!registered_once_) {
    KeepEarly(true, text);
  }
}

void WindowSink::ErrorBox(std::string_view text) {
  if (log_ != nullptr) log_->Add("E", text);
  if (!error_box_) return;
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr) return;
  std::string copy(text);
  if (QThread::currentThread() == app->thread()) {
    error_box_(copy);
  } else {
    // Other threads never wait for the operator: the box is shown by the window thread.
    QMetaObject::invokeMethod(app, [show = error_box_, copy] { show(copy); }, Qt::QueuedConnection);
  }
}

}  // namespace kt::ui
