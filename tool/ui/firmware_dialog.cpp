#include "tool/ui/firmware_dialog.h"

#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "tool/firmware/firmware_messages.h"
#include "tool/ui/message_box.h"

namespace kt::ui {

FirmwareDialog::FirmwareDialog(const QString& path, UiServices& services, QWidget* parent)
    : QDialog(parent), services_(services) {
  setWindowTitle(QString::fromLatin1(firmware::kDialogTitle));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QString::fromLatin1(firmware::kFileLabel)));
  auto* row = new QHBoxLayout;
  path_ = new QLineEdit(path);
  path_->setMinimumWidth(320);
  browse_ = new QPushButton(QStringLiteral("..."));
  browse_->setAutoDefault(false);
  browse_->setFixedWidth(32);
  row->addWidget(path_);
  row->addWidget(browse_);
  layout->addLayout(row);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  ok_ = new QPushButton(QStringLiteral("OK"));
  cancel_ = new QPushButton(QStringLiteral("Cancel"));
  ok_->setDefault(true);
  cancel_->setAutoDefault(false);
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  layout->addLayout(buttons);
  connect(browse_, &QPushButton::clicked, this, [this] { Browse(); });
  connect(ok_, &QPushButton::clicked, this, [this] { Accept(); });
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

QString FirmwareDialog::path() const { return path_->text(); }

void FirmwareDialog::Browse() {
  QFileDialog chooser(this, QString::fromLatin1(firmware::kBrowseTitle));
  chooser.setNameFilter(QStringLiteral("BIN files (*.bin)"));
  chooser.setDefaultSuffix(QStringLiteral("bin"));
  chooser.setFileMode(QFileDialog::ExistingFile);
  chooser.setAcceptMode(QFileDialog::AcceptOpen);
  if (services_.run_modal(chooser) != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return;
  path_->setText(chooser.selectedFiles().first());
}

void FirmwareDialog::Accept() {
  if (path().isEmpty()) {
    ShowBox(services_, this, firmware::NoFileSelectedBox());
    return;
  }
  QFile file(path());
  if (!file.open(QIODevice::ReadOnly)) {
    ShowBox(services_, this, firmware::CannotOpenFileBox());
    return;
  }
  accept();
}

}  // namespace kt::ui
