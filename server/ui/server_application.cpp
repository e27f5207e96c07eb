#include "server/ui/server_application.h"

#include "server/errlog/crash_handler.h"

namespace kt::ui {

bool ServerApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    const char* cls = receiver != nullptr ? receiver->metaObject()->className() : "";
    errlog::ReportCurrentException(cls);
  }
}

}  // namespace kt::ui
