// One offscreen QApplication for a window test binary, made on first use.
#pragma once

#include <QApplication>

#include <cstdlib>

namespace kt::ui::testing {

inline QApplication& TestApp() {
  static int argc = 1;
  static char name[] = "kx25config_ui_test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    auto* a = new QApplication(argc, argv);
    a->setQuitOnLastWindowClosed(false);
    return a;
  }();
  return *app;
}

}  // namespace kt::ui::testing
