// The firmware dialog ("Firmware Upgrade"): the path of the image to upload, a "..." button that
// browses for it, OK and Cancel. OK closes only with a path that names a readable file.
#pragma once

#include <QDialog>

#include "tool/ui/ui_services.h"

class QLineEdit;
class QPushButton;

namespace kt::ui {

class FirmwareDialog : public QDialog {
  Q_OBJECT
 public:
  FirmwareDialog(const QString& path, UiServices& services, QWidget* parent = nullptr);
  QString path() const;

  QLineEdit* path_edit() const { return path_; }
  QPushButton* browse() const { return browse_; }
  QPushButton* ok() const { return ok_; }
  QPushButton* cancel() const { return cancel_; }

 private:
  void Browse();
  void Accept();

  UiServices& services_;
  QLineEdit* path_;
  QPushButton* browse_;
  QPushButton* ok_;
  QPushButton* cancel_;
};

}  // namespace kt::ui
