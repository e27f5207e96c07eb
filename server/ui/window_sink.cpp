#include "server/ui/window_sink.h"

#include <QCoreApplication>
#include <QThread>

#include "server/ui/line_log.h"
#include "server/ui/winstarting.h"

namespace kt::ui {

void WindowSink::Register(WINSTARTING* window) {
  std::unique_lock lock(window_mutex_);
  window_ = window;
}

void WindowSink::Unregister() {
  std::unique_lock lock(window_mutex_);
  window_ = nullptr;
}

void WindowSink::ConnectedInfo(std::string_view text) {
  if (log_ != nullptr) log_->Add("C", text);
  std::shared_lock lock(window_mutex_, std::try_to_lock);
  if (lock.owns_lock() && window_ != nullptr) window_->ADDCONNECTEDINFO(text);
}

void WindowSink::ScanInfo(std::string_view text) {
  if (log_ != nullptr) log_->Add("S", text);
  std::shared_lock lock(window_mutex_, std::try_to_lock);
  if (lock.owns_lock() && window_ != nullptr) window_->ADDSCANINFO(text);
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
