#include "tool/ui/message_box.h"

#include <QMessageBox>

namespace kt::ui {

void ShowBox(UiServices& services, QWidget* parent, const firmware::MessageBox& box) {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  switch (box.icon) {
    case firmware::BoxIcon::kStop: icon = QMessageBox::Critical; break;
    case firmware::BoxIcon::kExclamation: icon = QMessageBox::Warning; break;
    case firmware::BoxIcon::kInformation: icon = QMessageBox::Information; break;
    case firmware::BoxIcon::kNone: break;
  }
  QMessageBox m(icon, QString::fromStdString(box.caption), QString::fromStdString(box.text), QMessageBox::Ok, parent);
  services.run_modal(m);
}

}  // namespace kt::ui
