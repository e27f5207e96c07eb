#include "tool/ui/adapter_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "tool/adapters/adapter_list.h"

namespace kt::ui {

AdapterQuestion::AdapterQuestion(config::ToolSettings& settings, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Multiple Network Adapters found..."));
  auto* layout = new QVBoxLayout(this);
  auto* text = new QLabel(QString::fromLatin1(kAdapterQuestionText));
  layout->addWidget(text);
  dont_ask_ = new QCheckBox(QStringLiteral("Don't ask this question again"));
  dont_ask_->setChecked(!settings.ask_for_adapter);
  layout->addWidget(dont_ask_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  yes_ = new QPushButton(QStringLiteral("Yes"));
  no_ = new QPushButton(QStringLiteral("No"));
  yes_->setDefault(true);
  buttons->addWidget(yes_);
  buttons->addWidget(no_);
  layout->addLayout(buttons);
  connect(dont_ask_, &QCheckBox::clicked, this, [&settings](bool checked) { settings.ask_for_adapter = !checked; });
  connect(yes_, &QPushButton::clicked, this, &QDialog::accept);
  connect(no_, &QPushButton::clicked, this, &QDialog::reject);
}

namespace {

QLineEdit* ReadOnly() {
  auto* e = new QLineEdit;
  e->setReadOnly(true);
  e->setMinimumWidth(220);
  return e;
}

}  // namespace

AdapterDialog::AdapterDialog(config::ToolSettings& settings, UiServices& services, QWidget* parent)
    : QDialog(parent), settings_(settings), services_(services) {
  setWindowTitle(QStringLiteral("Local Network Adapter(s)"));
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  name_ = ReadOnly();
  mac_ = ReadOnly();
  ip_ = new QComboBox;
  gateway_ = ReadOnly();
  dhcp_ = ReadOnly();
  port_ = new QLineEdit;
  port_->setMaxLength(5);
  form->addRow(QStringLiteral("Interface Name"), name_);
  form->addRow(QStringLiteral("Mac Address"), mac_);
  form->addRow(QStringLiteral("IP Address"), ip_);
  form->addRow(QStringLiteral("Gateway"), gateway_);
  form->addRow(QStringLiteral("DHCP"), dhcp_);
  form->addRow(new QLabel(QStringLiteral("Port to use for UDP broadcasts\n(0 = Program chooses a free one)")), port_);
  layout->addLayout(form);
  auto* note = new QLabel(QStringLiteral("Ethernet and wireless adapters are listed."));
  note->setEnabled(false);
  layout->addWidget(note);
  auto* buttons = new QHBoxLayout;
  next_ = new QPushButton(QStringLiteral("Next >>>"));
  refresh_ = new QPushButton(QStringLiteral("Refresh"));
  ok_ = new QPushButton(QStringLiteral("Ok"));
  cancel_ = new QPushButton(QStringLiteral("Cancel"));
  for (QPushButton* b : {next_, refresh_, ok_, cancel_}) {
    b->setAutoDefault(false);
    buttons->addWidget(b);
  }
  ok_->setDefault(true);
  layout->addLayout(buttons);
  connect(next_, &QPushButton::clicked, this, [this] { Next(); });
  connect(refresh_, &QPushButton::clicked, this, [this] { Refresh(); });
  connect(ok_, &QPushButton::clicked, this, [this] { Accept(); });
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  Open();
}

void AdapterDialog::Message(const QString& caption, const QString& text) {
  QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Ok, this);
  services_.run_modal(box);
}

void AdapterDialog::Fetch() {
  adapters_.clear();
  Result<std::vector<config::AdapterInfo>> listed = services_.list_adapters();
  if (listed.ok()) {
    for (config::AdapterInfo& a : *listed) {
      if (config::IsListedAdapter(a)) adapters_.push_back(std::move(a));
    }
  }
  for (QLineEdit* e : {name_, mac_, gateway_, dhcp_}) e->clear();
  ip_->clear();
  next_->setEnabled(adapters_.size() > 1);
  if (adapters_.empty()) {
    Message(QStringLiteral("Local Network Adapter(s)"),
            listed.ok() ? QStringLiteral("No adapter information exists for the local computer")
                        : QString::fromStdString(listed.status().message()));
  }
}

void AdapterDialog::Open() {
  Fetch();
  port_->setText(QString::number(settings_.broadcast_port));
  std::size_t index = 0;
  for (std::size_t i = 0; i < adapters_.size(); ++i) {
    if (config::FormatAdapterMac(adapters_[i].hardware_address) == settings_.adapter_mac) {
      index = i;
      break;
    }
  }
  Display(index, settings_.adapter_ip);
}

void AdapterDialog::Display(std::size_t index, const std::string& preferred_ip) {
  if (index >= adapters_.size()) return;
  shown_ = index;
  const config::AdapterInfo& a = adapters_[index];
  name_->setText(QString::fromStdString(a.name) + (a.wireless ? QStringLiteral(" - wireless") : QString()));
  mac_->setText(QString::fromStdString(config::FormatAdapterMac(a.hardware_address)));
  gateway_->setText(QString::fromStdString(a.gateway));
  dhcp_->setText(QString::fromStdString(adapters::DhcpText(a)));
  ip_->clear();
  int selected = -1;
  for (const std::string& address : a.ipv4_addresses) {
    ip_->addItem(QString::fromStdString(address));
    if (address == preferred_ip) selected = ip_->count() - 1;
  }
  ip_->setCurrentIndex(selected >= 0 ? selected : ip_->count() - 1);
}

void AdapterDialog::Next() {
  if (adapters_.empty()) return;
  Display((shown_ + 1) % adapters_.size());
}

void AdapterDialog::Refresh() {
  Fetch();
  Display(0);
}

void AdapterDialog::Accept() {
  bool ok = false;
  const QString text = port_->text().trimmed();
  const uint port = text.toUInt(&ok);
  if (!ok || port > 65535) {
    Message(QStringLiteral("Local Network Adapter(s)"), QStringLiteral("Please enter an integer between %1 and %2.").arg(0).arg(65535));
    port_->setFocus();
    return;
  }
  if (services_.check_port(static_cast<uint16_t>(port)) == adapters::PortCheck::kNeedsPrivilege) {
    Message(QStringLiteral("Port not available"),
            QStringLiteral("Port %1 cannot be used: on this system a port below 1024 needs administrator rights.\n\n"
                           "Choose a port from 1024 to 65535, or 0 to let the program choose a free one.")
                .arg(port));
    port_->setFocus();
    return;
  }
  if (!adapters_.empty()) {
    settings_.adapter_ip = ip_->currentText().toStdString();
    settings_.adapter_mac = mac_->text().toStdString();
  }
  settings_.broadcast_port = static_cast<uint16_t>(port);
  accept();
}

}  // namespace kt::ui
