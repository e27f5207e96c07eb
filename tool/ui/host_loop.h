// The tool's window loop: opens the main window, and opens it again while it ends with the mode
// toggle's result; any other result ends the program.
#pragma once

#include "tool/ui/tool_state.h"
#include "tool/ui/ui_services.h"

namespace kt::ui {

int RunHostLoop(ToolState& state, UiServices& services);

}  // namespace kt::ui
