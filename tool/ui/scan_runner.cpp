#include "tool/ui/scan_runner.h"

#include <QMetaObject>
#include <QPointer>

namespace kt::ui {
namespace {

// Turns the worker's observer calls into queued calls on the window's thread.
class QueuedObserver : public discovery::ScanObserver {
 public:
  QueuedObserver(QObject* context, const ScanCallbacks& cb) : context_(context), cb_(cb) {}

  void OnStatus(const std::string& text) override {
    Post([cb = cb_, t = QString::fromStdString(text)] { if (cb.status) cb.status(t); });
  }
  void OnLineAdded(const std::string& line, const discovery::DeviceEntry& e) override {
    Post([cb = cb_, line, mac = e.summary.mac, ip = e.summary.ip] { if (cb.line_added) cb.line_added(line, mac, ip); });
  }
  void OnLineRemoved(const std::string& line) override {
    Post([cb = cb_, line] { if (cb.line_removed) cb.line_removed(line); });
  }
  void OnSendError(const std::string& text) override {
    Post([cb = cb_, t = QString::fromStdString(text)] { if (cb.send_error) cb.send_error(t); });
  }
  void Finished(int found) {
    Post([cb = cb_, found] { if (cb.finished) cb.finished(found); });
  }

 private:
  template <typename F>
  void Post(F f) {
    // A call posted to a context object that is gone is dropped with it.
    QMetaObject::invokeMethod(context_, std::move(f), Qt::QueuedConnection);
  }
  QObject* context_;
  ScanCallbacks cb_;
};

}  // namespace

ScanRunner::~ScanRunner() {
  RequestStop();
  Wait();
}

void ScanRunner::Start(const discovery::ScanOptions& options, QObject* context, ScanCallbacks callbacks) {
  Wait();  // a finished worker that was not yet waited for
  scanner_.Begin();
  thread_ = std::thread([this, options, context, callbacks] {
    QueuedObserver observer(context, callbacks);
    const int found = scanner_.Run(options, observer);
    observer.Finished(found);
  });
}

void ScanRunner::Wait() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace kt::ui
