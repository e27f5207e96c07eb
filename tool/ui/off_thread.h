// Runs blocking work (a configuration read or apply) on its own thread while the window thread
// keeps painting; user input to the windows waits until the work is done.
#pragma once

#include <functional>

class QString;
class QWidget;

namespace kt::ui {

// Shows a busy indicator with `label` over `parent` while `work` runs, and returns when it ended.
void RunOffWindowThread(QWidget* parent, const QString& label, const std::function<void()>& work);

}  // namespace kt::ui
