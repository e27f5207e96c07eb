// The window mode's QApplication. Exceptions must not travel through Qt's event loop: one thrown
// by a slot or an event handler is handed to the error report (stack from the event dispatch
// outwards, the receiving object's class as the failed object) and the restart.
#pragma once

#include <QApplication>

namespace kt::ui {

class ServerApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace kt::ui
