#include "tool/ui/host_loop.h"

#include "tool/ui/main_window.h"

namespace kt::ui {

int RunHostLoop(ToolState& state, UiServices& services) {
  bool recreated = false;
  while (true) {
    MainWindow window(state, services, recreated);
    if (window.exec() != MainWindow::kToggleResult) return 0;
    recreated = true;
  }
}

}  // namespace kt::ui
