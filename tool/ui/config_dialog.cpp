#include "tool/ui/config_dialog.h"

#include <algorithm>

#include <QCheckBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "common/net/udp_socket.h"
#include "tool/config/exchange.h"

namespace kt::ui {

using config::Configuration;

QPixmap DevicePicture(int width) {
  const int height = width * 3 / 2;
  QPixmap pm(width, height);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal w = width, h = height;
  // Housing, screen, scanner window and the stand.
  p.setPen(QPen(QColor(40, 40, 48), 2));
  p.setBrush(QColor(70, 74, 86));
  p.drawRoundedRect(QRectF(w * 0.08, h * 0.04, w * 0.84, h * 0.72), w * 0.08, w * 0.08);
  p.setBrush(QColor(18, 60, 40));
  const QRectF screen(w * 0.17, h * 0.10, w * 0.66, h * 0.36);
  p.drawRect(screen);
  p.setPen(QColor(150, 240, 170));
  QFont f = p.font();
  f.setPixelSize(std::max(6, int(screen.height() / 6)));
  p.setFont(f);
  p.drawText(screen.adjusted(4, 2, -4, -2), Qt::AlignCenter, QStringLiteral("KX25\nScan here"));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(180, 20, 20));
  p.drawRoundedRect(QRectF(w * 0.25, h * 0.55, w * 0.5, h * 0.08), 3, 3);
  p.setBrush(QColor(120, 124, 136));
  p.drawRect(QRectF(w * 0.42, h * 0.76, w * 0.16, h * 0.14));
  p.drawRoundedRect(QRectF(w * 0.2, h * 0.9, w * 0.6, h * 0.06), 4, 4);
  return pm;
}

ConfigDialog::ConfigDialog(const Configuration& read, ConfigDialogOptions options, UiServices& services,
                           QWidget* parent)
    : QDialog(parent), read_(read), shown_(read), options_(std::move(options)), services_(services) {
  setObjectName(QStringLiteral("Configure selected Corvane"));
  setWindowTitle(QString::fromStdString(config::DialogTitle(read)));
  pages_ = config::DialogPagesFor(read, options_.rs232_word, options_.retail_chain_word);

  tabs_ = new QTabWidget(this);
  auto add = [&](ConfigPage* page, const char* title) {
    tabs_->addTab(page, QString::fromLatin1(title));
    all_pages_.push_back(page);
  };
  add(network_ = new NetworkPage(tabs_), "Network");
  add(wireless_ = new WirelessPage([this](const QString& c, const QString& t) { Box(c, t.toStdString()); }, tabs_),
      "Wireless");
  add(messages_ = new MessagesPage(tabs_), "Messages");
  if (pages_.rs232) add(rs232_ = new Rs232Page(tabs_), "RS232");
  add(misc_ = new MiscPage(tabs_), "Miscellaneous");
  if (pages_.activation) add(activation_ = new ActivationPage(tabs_), "Retalix protocol Activation");
  if (pages_.specifics) add(specifics_ = new SpecificsPage(tabs_), "Retalix specifics");

  auto* settings = new QGroupBox(QStringLiteral("Settings"), this);
  auto* sl = new QHBoxLayout(settings);
  auto button = [&](QWidget* parent_widget, const char* text, QBoxLayout* layout) {
    auto* b = new QPushButton(QString::fromLatin1(text), parent_widget);
    b->setAutoDefault(false);
    layout->addWidget(b);
    return b;
  };
  clone_ = button(settings, "Clone", sl);
  paste_ = button(settings, "Paste", sl);
  paste_all_ = button(settings, "Paste All", sl);
  save_ = button(settings, "Save to File", sl);
  load_ = button(settings, "Load from File", sl);
  paste_->setEnabled(options_.clone_present);
  paste_all_->setEnabled(false);
  paste_all_->setToolTip(QString::fromLatin1(kPasteAllTip));

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(settings, 1);
  auto* actions = new QVBoxLayout;
  undo_ = button(this, "Undo all", actions);
  apply_ = button(this, "Apply now", actions);
  exit_ = button(this, "Exit", actions);
  bottom->addLayout(actions);

  auto* top = new QHBoxLayout;
  top->addWidget(BuildInfoPanel());
  top->addWidget(tabs_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top, 1);
  layout->addLayout(bottom);

  // A terminal whose wireless record did not arrive cannot be applied from this dialog: every
  // apply would send the stand-in values. Read it again instead.
  const std::string missing = config::MissingForApply(read);
  if (read.wireless_unread && !missing.empty()) {
    apply_->setEnabled(false);
    apply_->setToolTip(QString::fromStdString(missing));
  }

  connect(undo_, &QAbstractButton::clicked, this, [this] { UndoAll(); });
  connect(apply_, &QAbstractButton::clicked, this, [this] { ApplyNow(); });
  connect(exit_, &QAbstractButton::clicked, this, &QDialog::reject);
  connect(clone_, &QAbstractButton::clicked, this, [this] { Clone(); });
  connect(paste_, &QAbstractButton::clicked, this, [this] { Paste(); });
  connect(save_, &QAbstractButton::clicked, this, [this] { SaveToFile(); });
  connect(load_, &QAbstractButton::clicked, this, [this] { LoadFromFile(); });
  Fill(read);
}

QWidget* ConfigDialog::BuildInfoPanel() {
  auto* panel = new QWidget(this);
  auto* v = new QVBoxLayout(panel);
  auto* picture = new QLabel(panel);
  picture->setPixmap(DevicePicture(120));
  picture->setAlignment(Qt::AlignCenter);
  v->addWidget(picture);
  auto value = [&](const char* name, const QString& text) {
    auto* l = new QLabel(text, panel);
    l->setObjectName(QString::fromLatin1(name));
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
  };
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("IP Address"), value("ip", QString::fromStdString(net::FormatIpv4(read_.current_ip))));
  form->addRow(QStringLiteral("MAC Address"), value("mac", QString::fromStdString(config::FormatMac(read_.mac, ':'))));
  v->addLayout(form);
  v->addWidget(new QLabel(QStringLiteral("Firmware Version and Date"), panel));
  v->addWidget(value("firmware", QString::fromStdString(config::FirmwareVersionAndDate(read_))));

  const config::HardwareRows rows = config::HardwareRowsFor(read_.firmware_number());
  auto hardware = [&](const char* group, const char* name, const std::string& row, bool placed) {
    auto* box = new QGroupBox(QString::fromLatin1(group), panel);
    auto* h = new QHBoxLayout(box);
    h->addWidget(value(name, QString::fromStdString(row)));
    auto* check = new QCheckBox(QString::fromStdString(placed ? rows.on_text : rows.off_text), box);
    check->setObjectName(QString::fromLatin1(name) + QStringLiteral("_state"));
    check->setChecked(placed);
    check->setAttribute(Qt::WA_TransparentForMouseEvents);
    check->setFocusPolicy(Qt::NoFocus);
    h->addWidget(check);
    v->addWidget(box);
  };
  hardware("Factory defaults", "hw1", rows.row1, read_.hardware_state & 1);
  hardware("Wired network (forced)", "hw2", rows.row2, read_.hardware_state & 2);
  if (rows.wifi_row) {
    const bool wifi = read_.hardware_state & 4;
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Wifi Card"), panel));
    row->addWidget(value("wifi", wifi ? QStringLiteral("Available") : QStringLiteral("Unavailable")));
    v->addLayout(row);
  }
  auto* active = new QHBoxLayout;
  active->addWidget(new QLabel(QStringLiteral("Active Interface"), panel));
  active->addWidget(value("interface", read_.active_interface == 1 ? QStringLiteral("Wired") : QStringLiteral("Wireless")));
  v->addLayout(active);
  const std::string missing = config::MissingRecords(read_);
  if (!missing.empty()) {
    auto* note = value("missing", QString::fromStdString("Incomplete read: " + missing + "."));
    note->setWordWrap(true);
    note->setStyleSheet(QStringLiteral("color: #b00000"));
    note->setMaximumWidth(200);
    v->addWidget(note);
  }
  v->addStretch();
  return panel;
}

QLabel* ConfigDialog::info(const char* name) const { return findChild<QLabel*>(QString::fromLatin1(name)); }

void ConfigDialog::Fill(const Configuration& c) {
  shown_ = c;
  for (ConfigPage* p : all_pages_) p->Fill(c);
}

Configuration ConfigDialog::PageValues() const {
  Configuration c = shown_;
  for (ConfigPage* p : all_pages_) p->Store(c);
  return c;
}

void ConfigDialog::Box(const QString& caption, const std::string& text) {
  const bool warning = caption == QLatin1String("Warning");
  QMessageBox box(warning ? QMessageBox::Warning : QMessageBox::Information, caption, QString::fromStdString(text),
                  QMessageBox::Ok, this);
  services_.run_modal(box);
}

void ConfigDialog::UndoAll() {
  const int current = tabs_->currentIndex();
  Fill(read_);
  tabs_->setCurrentIndex(current);
}

void ConfigDialog::ApplyNow() {
  Configuration c = PageValues();
  const std::string why = config::ValidatePageValues(c);
  if (!why.empty()) {
    Box(QString::fromLatin1(config::kErrorCaption), why);
    return;
  }
  applied_ = std::move(c);
  accept();
}

std::string ConfigDialog::WhyNotStorable() const {
  const std::string missing = config::MissingRecords(PageValues());
  if (missing.empty()) return {};
  return "not saved: " + missing +
         " when the configuration was read; a file would carry stand-in values. Read the terminal again first.";
}

void ConfigDialog::Clone() {
  if (const std::string why = WhyNotStorable(); !why.empty()) {
    Box(QString::fromLatin1(config::kErrorCaption), why);
    return;
  }
  std::error_code ec;
  std::filesystem::create_directories(options_.clone_file.parent_path(), ec);
  const Status s = config::WriteSettingsFile(options_.clone_file, PageValues(), config::kCloneFileKind, FilePages());
  if (!s.ok()) {
    Box(QString::fromLatin1(config::kErrorCaption), s.message());
    return;
  }
  options_.clone_present = true;
  paste_->setEnabled(true);
  if (options_.on_clone) options_.on_clone();
}

void ConfigDialog::Paste() {
  if (!options_.clone_present) return;
  LoadInto(options_.clone_file);
}

void ConfigDialog::LoadInto(const std::filesystem::path& file) {
  const Result<Configuration> loaded = config::ReadSettingsFile(file, PageValues(), FilePages());
  if (!loaded.ok()) {
    const std::string& why = loaded.status().message();
    if (why == config::kIncompatibleFileMessage) {
      Box(QStringLiteral("Warning"), why);
    } else {
      Box(QStringLiteral("Load from File"), "No settings loaded from " + file.string() + ":\n" + why);
    }
    return;
  }
  const int current = tabs_->currentIndex();
  Fill(*loaded);
  tabs_->setCurrentIndex(current);
}

namespace {

QString AskFile(UiServices& services, QWidget* parent, bool save) {
  QFileDialog dialog(parent, save ? QStringLiteral("Save to File") : QStringLiteral("Load from File"), QString(),
                     QStringLiteral("KX25 settings (*.KX25)"));
  dialog.setObjectName(save ? QStringLiteral("save") : QStringLiteral("load"));
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setDefaultSuffix(QStringLiteral("KX25"));
  if (services.run_modal(dialog) != QDialog::Accepted) return {};
  return dialog.selectedFiles().value(0);
}

}  // namespace

void ConfigDialog::SaveToFile() {
  if (const std::string why = WhyNotStorable(); !why.empty()) {
    Box(QString::fromLatin1(config::kErrorCaption), why);
    return;
  }
  const QString file = AskFile(services_, this, true);
  if (file.isEmpty()) return;
  const Status s = config::WriteSettingsFile(file.toStdString(), PageValues(), config::kSettingsFileKind, FilePages());
  if (!s.ok()) Box(QString::fromLatin1(config::kErrorCaption), s.message());
}

void ConfigDialog::LoadFromFile() {
  const QString file = AskFile(services_, this, false);
  if (file.isEmpty()) return;
  LoadInto(file.toStdString());
}

}  // namespace kt::ui
