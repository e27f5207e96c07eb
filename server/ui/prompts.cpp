#include "server/ui/prompts.h"

#include <QMessageBox>

#include "server/ui/status_texts.h"

namespace kt::ui {

Prompts MessageBoxPrompts() {
  const QString caption = QString::fromLatin1(kApplicationTitle.data(), kApplicationTitle.size());
  Prompts p;
  p.confirm = [caption](QWidget* parent, const QString& text) {
    return QMessageBox::question(parent, caption, text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
  };
  p.error = [caption](QWidget* parent, const QString& text) {
    QMessageBox::critical(parent, caption, text);
  };
  p.info = [](QWidget* parent, const QString& title, const QString& text) {
    QMessageBox::information(parent, title, text);
  };
  return p;
}

}  // namespace kt::ui
