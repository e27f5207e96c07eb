// The server's two icons, drawn in code: APP_ICON (all well) and STATE_ICON3 (attention).
#pragma once

#include <QIcon>

namespace kt::ui {

QIcon AppIcon();
QIcon StateIcon3();

}  // namespace kt::ui
