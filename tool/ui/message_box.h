// Shows one of the core's message boxes (text, caption, icon) through the window services.
#pragma once

#include "tool/firmware/firmware_messages.h"
#include "tool/ui/ui_services.h"

class QWidget;

namespace kt::ui {

void ShowBox(UiServices& services, QWidget* parent, const firmware::MessageBox& box);

}  // namespace kt::ui
