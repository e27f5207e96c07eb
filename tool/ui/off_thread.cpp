#include "tool/ui/off_thread.h"

#include <QEventLoop>
#include <QProgressDialog>
#include <QString>

#include <thread>

namespace kt::ui {

void RunOffWindowThread(QWidget* parent, const QString& label, const std::function<void()>& work) {
  QProgressDialog progress(label, QString(), 0, 0, parent);
  progress.setObjectName(QStringLiteral("progress"));
  progress.setCancelButton(nullptr);
  progress.setMinimumDuration(300);
  progress.setWindowModality(Qt::NonModal);
  QEventLoop loop;
  std::thread worker([&] {
    work();
    // Queued: delivered once the loop runs, even when the work ends before exec() starts.
    QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
  });
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  worker.join();
}

}  // namespace kt::ui
