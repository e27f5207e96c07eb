#include "server/ui/winsetting.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "server/data/data_folder.h"
#include "server/data/global_variable.h"
#include "server/data/settings_table.h"
#include "server/data/settings_validation.h"
#include "server/reply/default_templates.h"
#include "server/ui/status_texts.h"
#include "server/ui/template_preview.h"

namespace kt::ui {
namespace {

// Settings hold bytes (the terminal's character set); the widgets show them one byte per character.
QString FromBytes(const std::string& s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }
std::string ToBytes(const QString& s) { return s.toLatin1().toStdString(); }

QPushButton* Button(const QString& text, const char* name, QWidget* parent) {
  auto* b = new QPushButton(text, parent);
  b->setObjectName(name);
  b->setAutoDefault(false);
  return b;
}

QPlainTextEdit* TemplateEdit(const char* name, QWidget* parent) {
  auto* e = new QPlainTextEdit(parent);
  e->setObjectName(name);
  e->setTabChangesFocus(true);
  e->setMinimumWidth(460);
  e->setMinimumHeight(64);
  return e;
}

}  // namespace

WINSETTING::WINSETTING(std::filesystem::path workdir, data::GLOBALVARIABLE& globals, EventSink& sink,
                       Prompts prompts, QWidget* parent)
    : QDialog(parent), workdir_(std::move(workdir)), globals_(globals), sink_(sink), prompts_(std::move(prompts)) {
  setWindowTitle(QStringLiteral("Setting"));
  if (!prompts_.confirm) prompts_ = MessageBoxPrompts();
  chooseFolder = [](QWidget* parent, const QString& caption, const QString& start) {
    return QFileDialog::getExistingDirectory(parent, caption, start);
  };

  location_ = new QLineEdit(this);
  location_->setObjectName("LOKASI");
  auto* browse = Button(QStringLiteral("Browse"), "BUTTONBROWSE", this);
  port_ = new QLineEdit(this);
  port_->setObjectName("PORT");
  port_->setMaxLength(5);
  port_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,5}")), port_));
  port_->setFixedWidth(80);
  price_level_ = new QComboBox(this);
  price_level_->setObjectName("HARGAJUAL");
  price_level_->addItem(QStringLiteral("--- Auto ---"), 0);
  for (int level = 1; level <= 5; ++level) {
    price_level_->addItem(QStringLiteral("Harga Jual ke-%1").arg(level), level);
  }
  auto* reset = Button(QStringLiteral("Reset to Default Command"), "BUTTONRESETDEFAULT", this);
  connected_ = TemplateEdit("CONNECTED", this);
  scan_ok_ = TemplateEdit("SCANOK", this);
  scan_failed_ = TemplateEdit("SCANGAGAL", this);
  auto* close_app = Button(QStringLiteral("Tutup &Aplikasi"), "BUTTONTUTUPAPLIKASI", this);
  auto* close = Button(QStringLiteral("&Tutup"), "BUTTONTUTUP", this);
  auto* save = Button(QStringLiteral("&Simpan"), "BUTTONSIMPAN", this);

  auto* top = new QGridLayout;
  top->addWidget(new QLabel(QStringLiteral("Lokasi Data :"), this), 0, 0);
  top->addWidget(location_, 0, 1, 1, 3);
  top->addWidget(browse, 0, 4);
  top->addWidget(new QLabel(QStringLiteral("Port :"), this), 1, 0);
  top->addWidget(port_, 1, 1);
  top->addWidget(new QLabel(QStringLiteral("default: 9101"), this), 1, 2);
  top->addWidget(new QLabel(QStringLiteral("Harga Jual :"), this), 2, 0);
  top->addWidget(price_level_, 2, 1, 1, 2);
  top->addWidget(reset, 2, 3, 1, 2, Qt::AlignRight);
  top->setColumnStretch(3, 1);

  auto* group = new QGroupBox(QStringLiteral(" Command : "), this);
  auto* commands = new QGridLayout(group);
  commands->addWidget(new QLabel(QStringLiteral("Connected :"), group), 0, 0, Qt::AlignTop);
  commands->addWidget(connected_, 0, 1);
  commands->addWidget(new QLabel(QStringLiteral("Scan OK :"), group), 2, 0, Qt::AlignTop);
  commands->addWidget(scan_ok_, 2, 1);
  commands->addWidget(new QLabel(QStringLiteral("Scan Gagal :"), group), 4, 0, Qt::AlignTop);
  commands->addWidget(scan_failed_, 4, 1);
  // The live preview beside the fields; its notes go under the field they concern.
  preview_ = new TemplatePreview(globals_, this);
  commands->addWidget(preview_->noteLabel(TemplatePreview::kConnected), 1, 1);
  commands->addWidget(preview_->noteLabel(TemplatePreview::kScanOk), 3, 1);
  commands->addWidget(preview_->noteLabel(TemplatePreview::kScanFailed), 5, 1);
  for (int row : {0, 2, 4}) commands->setRowStretch(row, 1);
  auto* command_area = new QHBoxLayout;
  command_area->addWidget(group, 1);
  command_area->addWidget(preview_);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(close_app);
  buttons->addStretch(1);
  buttons->addWidget(close);
  buttons->addWidget(save);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(command_area);
  layout->addLayout(buttons);

  connect(browse, &QPushButton::clicked, this, &WINSETTING::BUTTONBROWSE);
  connect(reset, &QPushButton::clicked, this, &WINSETTING::BUTTONRESETDEFAULT);
  connect(close_app, &QPushButton::clicked, this, &WINSETTING::BUTTONTUTUPAPLIKASI);
  connect(close, &QPushButton::clicked, this, &WINSETTING::BUTTONTUTUP);
  connect(save, &QPushButton::clicked, this, &WINSETTING::BUTTONSIMPAN);

  // Filled from the settings object, not from the file.
  const data::SettingsForm form = data::FormFromGlobals(globals_);
  location_->setText(FromBytes(form.location));
  port_->setText(FromBytes(form.port));
  price_level_->setCurrentIndex(price_level_->findData(static_cast<int>(form.price_level)));
  connected_->setPlainText(FromBytes(form.com_conn));
  scan_ok_->setPlainText(FromBytes(form.com_ok));
  scan_failed_->setPlainText(FromBytes(form.com_fail));
  preview_->attach(TemplatePreview::kConnected, connected_);
  preview_->attach(TemplatePreview::kScanOk, scan_ok_);
  preview_->attach(TemplatePreview::kScanFailed, scan_failed_);
}

void WINSETTING::BUTTONBROWSE() {
  const QString chosen = chooseFolder(this, QStringLiteral("Silahkan pilih lokasi Data Folder:"), location_->text());
  if (chosen.isEmpty()) return;
  QString folder = QDir::toNativeSeparators(chosen);
  if (!folder.endsWith(QLatin1Char(data::kPathSeparator))) folder += QLatin1Char(data::kPathSeparator);
  location_->setText(folder);
}

void WINSETTING::BUTTONRESETDEFAULT() {
  connected_->setPlainText(FromBytes(reply::DefaultComConn()));
  scan_ok_->setPlainText(FromBytes(reply::DefaultComOk()));
  scan_failed_->setPlainText(FromBytes(reply::DefaultComFail()));
}

void WINSETTING::BUTTONSIMPAN() {
  data::SettingsForm form;
  form.location = ToBytes(location_->text());
  form.port = ToBytes(port_->text());
  form.price_level = static_cast<uint16_t>(price_level_->currentData().toInt());
  form.com_conn = ToBytes(connected_->toPlainText());
  form.com_ok = ToBytes(scan_ok_->toPlainText());
  form.com_fail = ToBytes(scan_failed_->toPlainText());

  auto saved = data::SaveSettings(workdir_, form, globals_, sink_);
  if (!saved.ok()) {
    prompts_.error(this, FromBytes(saved.status().message()));
    return;
  }
  switch (saved->outcome) {
    case data::SaveOutcome::kInvalid: {
      prompts_.error(this, FromBytes(saved->check.message));
      QWidget* field = location_;
      switch (saved->check.field) {
        case data::SettingsField::kPort: field = port_; break;
        case data::SettingsField::kComConn: field = connected_; break;
        case data::SettingsField::kComOk: field = scan_ok_; break;
        case data::SettingsField::kComFail: field = scan_failed_; break;
        default: break;
      }
      field->setFocus(Qt::OtherFocusReason);
      return;
    }
    case data::SaveOutcome::kRestartRequired:
      prompts_.info(this, QStringLiteral("KT-Vistrand TCP Server"),
                    QStringLiteral("Please restart KT-Vistrand TCP Server...\r\nMohon restart KT-Vistrand TCP Server..."));
      done(kCloseApplication);
      return;
    case data::SaveOutcome::kSaved:
      done(kSaved);
      return;
  }
}

}  // namespace kt::ui
