// The message boxes the server's windows show, as replaceable functions: tests answer them
// without a person, the program shows real boxes.
#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace kt::ui {

struct Prompts {
  // A yes/no question; true for yes.
  std::function<bool(QWidget* parent, const QString& text)> confirm;
  // An error box.
  std::function<void(QWidget* parent, const QString& text)> error;
  // An information box with a title.
  std::function<void(QWidget* parent, const QString& title, const QString& text)> info;
};

// Real message boxes, captioned with the application's name.
Prompts MessageBoxPrompts();

}  // namespace kt::ui
