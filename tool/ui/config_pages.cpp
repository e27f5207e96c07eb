#include "tool/ui/config_pages.h"

#include <algorithm>

#include <QButtonGroup>
#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QVBoxLayout>

#include "common/net/udp_socket.h"
#include "tool/config/page_rules.h"
#include "tool/config/text_codec.h"

namespace kt::ui {

using config::Configuration;

EncodedBytesValidator::EncodedBytesValidator(std::size_t max, int codepage, QObject* parent)
    : QValidator(parent), max_(max), codepage_(codepage) {}

QValidator::State EncodedBytesValidator::validate(QString& input, int&) const {
  const std::string utf8 = input.toStdString();
  const std::size_t size = codepage_ < 0 ? config::EncodeAnsi(utf8).size() : config::EncodedSize(utf8, codepage_);
  return size <= max_ ? Acceptable : Invalid;
}

void SetEntries(QComboBox* box, std::span<const config::ListEntry> entries) {
  box->clear();
  for (const config::ListEntry& e : entries) box->addItem(QString::fromUtf8(e.name), QVariant::fromValue<uint>(e.value));
}

void SelectValue(QComboBox* box, uint32_t value) {
  int i = box->findData(QVariant::fromValue<uint>(value));
  if (i < 0) {
    box->addItem(QStringLiteral("(%1)").arg(value), QVariant::fromValue<uint>(value));
    i = box->count() - 1;
  }
  box->setCurrentIndex(i);
}

uint32_t ValueOf(const QComboBox* box) { return box->currentData().toUInt(); }

namespace {

QComboBox* ValueList(QWidget* parent, std::initializer_list<std::pair<const char*, uint32_t>> items) {
  auto* box = new QComboBox(parent);
  for (const auto& [name, value] : items) box->addItem(QString::fromUtf8(name), QVariant::fromValue<uint>(value));
  return box;
}

QSpinBox* Number(QWidget* parent, int min, int max) {
  auto* s = new QSpinBox(parent);
  s->setRange(min, max);
  s->setToolTip(QStringLiteral("%1 - %2").arg(min).arg(max));
  return s;
}

QLineEdit* AddressEdit(QWidget* parent) {
  auto* e = new QLineEdit(parent);
  static const QRegularExpression kAddress(
      QStringLiteral("^((25[0-5]|2[0-4]\\d|1?\\d?\\d)\\.){0,3}(25[0-5]|2[0-4]\\d|1?\\d?\\d)?$"));
  e->setValidator(new QRegularExpressionValidator(kAddress, e));
  return e;
}

QString AddressText(uint32_t a) { return QString::fromStdString(net::FormatIpv4(a)); }

uint32_t AddressOf(const QLineEdit* e, uint32_t fallback) {
  return net::ParseIpv4(e->text().toStdString()).value_or(fallback);
}

QString Text(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

// ---- Network ----

NetworkPage::NetworkPage(QWidget* parent) : ConfigPage(parent) {
  auto* form = new QFormLayout(this);
  ip = AddressEdit(this);
  mask = AddressEdit(this);
  gateway = AddressEdit(this);
  dhcp = new QCheckBox(QStringLiteral("DHCP"), this);
  form->addRow(QStringLiteral("IP Address"), ip);
  form->addRow(QStringLiteral("Subnet Mask"), mask);
  form->addRow(QStringLiteral("Default Gateway"), gateway);
  form->addRow(QString(), dhcp);

  auto* transport = new QGroupBox(QStringLiteral("Protocol"), this);
  auto* tl = new QGridLayout(transport);
  udp = new QRadioButton(QStringLiteral("UDP"), transport);
  tcp = new QRadioButton(QStringLiteral("TCP"), transport);
  udp_port = Number(transport, 0, 65535);
  tcp_port = Number(transport, 0, 65535);
  tcp_port_label = new QLabel(QStringLiteral("Connect to Port"), transport);
  client = new QRadioButton(QStringLiteral("Client"), transport);
  server = new QRadioButton(QStringLiteral("Server"), transport);
  auto* g1 = new QButtonGroup(this);
  g1->addButton(udp);
  g1->addButton(tcp);
  auto* g2 = new QButtonGroup(this);
  g2->addButton(client);
  g2->addButton(server);
  tl->addWidget(udp, 0, 0);
  tl->addWidget(new QLabel(QStringLiteral("Port"), transport), 0, 1);
  tl->addWidget(udp_port, 0, 2);
  tl->addWidget(tcp, 1, 0);
  tl->addWidget(tcp_port_label, 1, 1);
  tl->addWidget(tcp_port, 1, 2);
  tl->addWidget(client, 2, 1);
  tl->addWidget(server, 2, 2);
  form->addRow(transport);
  remote = AddressEdit(this);
  form->addRow(QStringLiteral("Remote IP "), remote);
  for (QRadioButton* b : {udp, tcp, client, server}) connect(b, &QRadioButton::toggled, this, [this] { UpdateRules(); });
}

void NetworkPage::UpdateRules() {
  const bool is_tcp = tcp->isChecked() && !fixed_udp_;
  udp_port->setEnabled(!is_tcp);
  tcp_port->setEnabled(is_tcp);
  client->setEnabled(is_tcp);
  server->setEnabled(is_tcp);
  udp->setEnabled(!fixed_udp_);
  tcp->setEnabled(!fixed_udp_);
  tcp_port_label->setEnabled(!fixed_udp_);
  tcp_port_label->setText(server->isChecked() ? QStringLiteral("Listen to Port") : QStringLiteral("Connect to Port"));
}

void NetworkPage::Fill(const Configuration& c) {
  fixed_udp_ = config::TransportFixedToUdp(c);
  ip->setText(AddressText(c.ip_address));
  mask->setText(AddressText(c.subnet_mask));
  gateway->setText(AddressText(c.gateway));
  remote->setText(AddressText(c.remote_ip));
  dhcp->setChecked(c.dhcp);
  (c.udp || fixed_udp_ ? udp : tcp)->setChecked(true);
  (c.tcp_server ? server : client)->setChecked(true);
  udp_port->setValue(c.udp_port);
  tcp_port->setValue(c.tcp_port);
  UpdateRules();
}

void NetworkPage::Store(Configuration& c) const {
  c.ip_address = AddressOf(ip, c.ip_address);
  c.subnet_mask = AddressOf(mask, c.subnet_mask);
  c.gateway = AddressOf(gateway, c.gateway);
  c.remote_ip = AddressOf(remote, c.remote_ip);
  c.dhcp = dhcp->isChecked();
  if (!fixed_udp_) c.udp = udp->isChecked();
  c.tcp_server = server->isChecked();
  c.udp_port = static_cast<uint16_t>(udp_port->value());
  c.tcp_port = static_cast<uint16_t>(tcp_port->value());
}

// ---- Wireless ----

WirelessPage::WirelessPage(PageWarning warn, QWidget* parent) : ConfigPage(parent), warn_(std::move(warn)) {
  form_ = new QFormLayout(this);
  ssid = new QLineEdit(this);
  ssid->setValidator(new EncodedBytesValidator(config::kSsidBytes, -1, ssid));
  mode = ValueList(this, {{"Infrastructure", 0}, {"AdHoc", 1}});
  channel = new QComboBox(this);
  channel->setEditable(true);
  for (int i = 1; i <= 14; ++i) channel->addItem(QString::number(i));
  channel->setValidator(new QIntValidator(1, 14, channel));
  auto_channel = new QCheckBox(QStringLiteral("Auto Channel Scan"), this);
  mode_80211 = new QComboBox(this);
  SetEntries(mode_80211, config::Mode80211List());
  tx_rate = new QComboBox(this);
  SetEntries(tx_rate, config::TxRateList());
  channel_width = ValueList(this, {{"20 MHz", 0}, {"Auto 20/40 MHz", 1}, {"40 MHz", 2}});
  streams = new QComboBox(this);
  SetEntries(streams, config::StreamMaskList());
  security = new QComboBox(this);
  auto* wep_row = new QWidget(this);
  auto* wl = new QHBoxLayout(wep_row);
  wl->setContentsMargins(0, 0, 0, 0);
  wep64 = new QRadioButton(QStringLiteral("WEP64"), wep_row);
  wep128 = new QRadioButton(QStringLiteral("WEP128"), wep_row);
  wl->addWidget(wep64);
  wl->addWidget(wep128);
  wep_key = new QLineEdit(this);
  wep_key->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("^[0-9A-Fa-f]{0,26}$")), wep_key));
  wep_key->setToolTip(QStringLiteral("Hexadecimal digits: 10 for WEP64, 26 for WEP128"));
  auth = ValueList(this, {{"Open/None", 0}, {"Shared", 1}});
  wpa_mode = ValueList(this, {{"WPA Only", 1}, {"Auto (WPA or WPA2)", 2}, {"WPA2 Only", 3}});
  cipher = ValueList(this, {{"TKIP", 1}, {"AES", 2}, {"TKIP or AES", 3}});
  psk = new QLineEdit(this);
  psk->setValidator(new EncodedBytesValidator(config::kPskCharacters, -1, psk));
  eap_type = new QComboBox(this);
  SetEntries(eap_type, config::EapTypeList());
  inner_auth = new QComboBox(this);
  SetEntries(inner_auth, config::InnerAuthList());
  eap_user = new QLineEdit(this);
  eap_user->setValidator(new EncodedBytesValidator(config::kEapTextBytes, -1, eap_user));
  eap_password = new QLineEdit(this);
  eap_password->setValidator(new EncodedBytesValidator(config::kEapTextBytes, -1, eap_password));
  wlan_mac = ValueList(this, {{"Use MAC Address from WLAN card", 0},
                              {"Use Vistrand ID MAC Address (same as Ethernet interface)", 1}});

  form_->addRow(QStringLiteral("SSID"), ssid);
  form_->addRow(QStringLiteral("Wireless mode"), mode);
  form_->addRow(QStringLiteral("Channel"), channel);
  form_->addRow(QString(), auto_channel);
  form_->addRow(QStringLiteral("802.11 Mode"), mode_80211);
  form_->addRow(QStringLiteral("Transmission Rate"), tx_rate);
  form_->addRow(QStringLiteral("Channel Width"), channel_width);
  form_->addRow(QStringLiteral("Nr of spatial streams"), streams);
  form_->addRow(QStringLiteral("Security Mode"), security);
  form_->addRow(QString(), wep_row);
  form_->addRow(QStringLiteral("WEP Key"), wep_key);
  form_->addRow(QStringLiteral("Authentication"), auth);
  form_->addRow(QStringLiteral("WPA Mode"), wpa_mode);
  form_->addRow(QStringLiteral("Cipher type"), cipher);
  form_->addRow(QStringLiteral("Pre-Shared Key"), psk);
  form_->addRow(QStringLiteral("EAP Type"), eap_type);
  form_->addRow(QStringLiteral("Inner auth. method"), inner_auth);
  form_->addRow(QStringLiteral("EAP Username"), eap_user);
  form_->addRow(QStringLiteral("EAP Password"), eap_password);
  form_->addRow(QStringLiteral("WLAN MAC Address"), wlan_mac);
  connect(security, &QComboBox::currentIndexChanged, this, [this] { UpdateRows(); });
  connect(wlan_mac, &QComboBox::currentIndexChanged, this, [this] { OwnMacChosen(); });
}

void WirelessPage::UpdateRows() {
  const auto m = static_cast<config::SecurityMode>(security->currentIndex());
  const bool wep = m == config::SecurityMode::kWep;
  const bool personal = m == config::SecurityMode::kWpaPersonal;
  const bool enterprise = m == config::SecurityMode::kWpaEnterprise;
  const bool wireless_record = firmware_ >= config::kFirmwareWirelessRecord;
  form_->setRowVisible(wep64->parentWidget(), wep);
  form_->setRowVisible(wep_key, wep);
  form_->setRowVisible(auth, wep);
  form_->setRowVisible(psk, personal);
  form_->setRowVisible(wpa_mode, personal || enterprise);
  form_->setRowVisible(cipher, personal || enterprise);
  for (QWidget* w : {static_cast<QWidget*>(eap_type), static_cast<QWidget*>(inner_auth), static_cast<QWidget*>(eap_user),
                     static_cast<QWidget*>(eap_password)}) {
    form_->setRowVisible(w, enterprise);
  }
  // Values that only the wireless record holds are shown for firmware that has it.
  for (QWidget* w : {static_cast<QWidget*>(auto_channel), static_cast<QWidget*>(mode_80211),
                     static_cast<QWidget*>(tx_rate), static_cast<QWidget*>(channel_width),
                     static_cast<QWidget*>(streams)}) {
    form_->setRowVisible(w, wireless_record);
  }
  wep64->setEnabled(wireless_record);
  wep128->setEnabled(wireless_record);
}

void WirelessPage::OwnMacChosen() {
  if (filling_ || ValueOf(wlan_mac) != 1) return;
  const std::string warning = config::OwnMacWarning(firmware_);
  if (!warning.empty() && warn_) warn_(QStringLiteral("Warning"), Text(warning));
}

void WirelessPage::Fill(const Configuration& c) {
  filling_ = true;
  firmware_ = c.firmware_number();
  const config::WirelessSettings& w = c.wireless;
  ssid->setText(Text(w.ssid));
  SelectValue(mode, w.adhoc ? 1 : 0);
  channel->setCurrentText(QString::number(w.channel));
  auto_channel->setChecked(w.auto_channel);
  SelectValue(mode_80211, w.mode_80211);
  SelectValue(tx_rate, w.tx_rate);
  SelectValue(channel_width, w.channel_width);
  SelectValue(streams, w.stream_mask);
  security->clear();
  const char* const kModes[] = {"None", "WEP", "WPA-Personal", "WPA-Enterprise"};
  const int modes = config::SecurityModeCount(firmware_);
  for (int i = 0; i < modes; ++i) security->addItem(QString::fromLatin1(kModes[i]));
  int m = static_cast<int>(config::SecurityModeOf(w, firmware_));
  security->setCurrentIndex(m < modes ? m : 0);
  (w.wep128 ? wep128 : wep64)->setChecked(true);
  wep_key->setText(Text(config::WepKeyToHex(w.wep_key)));
  SelectValue(auth, w.shared_auth ? 1 : 0);
  SelectValue(wpa_mode, w.wpa_mode);
  SelectValue(cipher, w.cipher);
  psk->setText(Text(w.psk));
  SelectValue(eap_type, w.eap_type);
  SelectValue(inner_auth, w.inner_auth);
  eap_user->setText(Text(w.eap_user));
  eap_password->setText(Text(w.eap_password));
  SelectValue(wlan_mac, w.own_mac ? 1 : 0);
  UpdateRows();
  filling_ = false;
}

void WirelessPage::Store(Configuration& c) const {
  config::WirelessSettings& w = c.wireless;
  w.ssid = ssid->text().toStdString();
  w.adhoc = ValueOf(mode) == 1;
  const int ch = channel->currentText().toInt();
  if (ch >= 1 && ch <= 14) w.channel = static_cast<uint8_t>(ch);
  w.auto_channel = auto_channel->isChecked();
  w.mode_80211 = static_cast<uint8_t>(ValueOf(mode_80211));
  w.tx_rate = static_cast<uint16_t>(ValueOf(tx_rate));
  w.channel_width = static_cast<uint8_t>(ValueOf(channel_width));
  w.stream_mask = ValueOf(streams);
  config::SetSecurityMode(w, static_cast<config::SecurityMode>(std::max(0, security->currentIndex())));
  w.wep128 = wep128->isChecked();
  config::WepKeyFromHex(wep_key->text().toStdString(), w.wep_key);
  w.shared_auth = ValueOf(auth) == 1;
  w.wpa_mode = static_cast<uint8_t>(ValueOf(wpa_mode));
  w.cipher = static_cast<uint8_t>(ValueOf(cipher));
  w.psk = psk->text().toStdString();
  w.eap_type = static_cast<uint8_t>(ValueOf(eap_type));
  w.inner_auth = static_cast<uint8_t>(ValueOf(inner_auth));
  w.eap_user = eap_user->text().toStdString();
  w.eap_password = eap_password->text().toStdString();
  w.own_mac = ValueOf(wlan_mac) == 1;
}

// ---- Messages ----

MessagesPage::MessagesPage(QWidget* parent) : ConfigPage(parent) {
  auto* layout = new QVBoxLayout(this);
  struct Group {
    const char* title;
    std::vector<int> lines;
  };
  const Group groups[] = {{"Idle Message", {config::kIdle1, config::kIdle2, config::kIdle3}},
                          {"Error Message", {config::kError1, config::kError2}},
                          {"Offline Message", {config::kOffline}}};
  for (const Group& g : groups) {
    auto* box = new QGroupBox(QString::fromLatin1(g.title), this);
    auto* grid = new QGridLayout(box);
    int col = 1;
    for (const char* head : {"Text", "X-Pos", "Y-Pos", "Align (Vert)", "Align (Horiz)", "Font Size"}) {
      grid->addWidget(new QLabel(QString::fromLatin1(head), box), 0, col++);
    }
    int r = 1;
    for (int line : g.lines) {
      Row& row = rows[line];
      row.text = new QLineEdit(box);
      row.text->setMinimumWidth(220);
      row.limit = new EncodedBytesValidator(config::kShortLineBytes, 1, row.text);
      row.text->setValidator(row.limit);
      row.x = Number(box, 0, 255);
      row.y = Number(box, 0, 255);
      row.vertical = ValueList(box, {{"None", 0}, {"Top", 1}, {"Center", 2}, {"Bottom", 3}});
      row.horizontal = ValueList(box, {{"None", 0}, {"Left", 1}, {"Center", 2}, {"Right", 3}});
      row.font = ValueList(box, {{"Small", 0}, {"Large", 1}});
      grid->addWidget(new QLabel(QStringLiteral("Line %1").arg(r), box), r, 0);
      grid->addWidget(row.text, r, 1);
      grid->addWidget(row.x, r, 2);
      grid->addWidget(row.y, r, 3);
      grid->addWidget(row.vertical, r, 4);
      grid->addWidget(row.horizontal, r, 5);
      grid->addWidget(row.font, r, 6);
      ++r;
    }
    layout->addWidget(box);
  }
  layout->addStretch();
}

void MessagesPage::Fill(const Configuration& c) {
  shown_ = c;
  const std::size_t bytes = config::MessageLineBytes(c.firmware_number());
  for (int i = 0; i < config::kLineCount; ++i) {
    Row& row = rows[i];
    const config::MessageLine& l = c.lines[i];
    row.limit->SetLimit(bytes, c.codepage);
    row.text->setToolTip(QStringLiteral("At most %1 bytes in the terminal's code page").arg(bytes));
    row.text->setText(Text(l.text));
    row.x->setValue(l.x);
    row.y->setValue(l.y);
    row.vertical->setCurrentIndex(l.align.vertical >= 0 && l.align.vertical <= 3 ? l.align.vertical : 0);
    row.horizontal->setCurrentIndex(l.align.horizontal >= 0 && l.align.horizontal <= 3 ? l.align.horizontal : 0);
    row.font->setCurrentIndex(l.font ? 1 : 0);
    const bool editable = i != config::kOffline || config::HasOfflineLine(c.version);
    for (QWidget* w : {static_cast<QWidget*>(row.text), static_cast<QWidget*>(row.x), static_cast<QWidget*>(row.y),
                       static_cast<QWidget*>(row.vertical), static_cast<QWidget*>(row.horizontal),
                       static_cast<QWidget*>(row.font)}) {
      w->setEnabled(editable);
    }
  }
}

void MessagesPage::Store(Configuration& c) const {
  for (int i = 0; i < config::kLineCount; ++i) {
    const Row& row = rows[i];
    config::MessageLine& l = c.lines[i];
    const std::string text = row.text->text().toStdString();
    // A line the user typed holds its whole value: it no longer lacks the long record's bytes.
    if (text != shown_.lines[i].text) c.lines_cut &= static_cast<uint8_t>(~config::LineBit(i));
    l.text = text;
    l.x = static_cast<uint8_t>(row.x->value());
    l.y = static_cast<uint8_t>(row.y->value());
    l.align.vertical = row.vertical->currentIndex();
    l.align.horizontal = row.horizontal->currentIndex();
    l.font = static_cast<uint8_t>(row.font->currentIndex());
  }
}

// ---- RS232 ----

Rs232Page::Rs232Page(QWidget* parent) : ConfigPage(parent) {
  auto* layout = new QVBoxLayout(this);
  auto make_port = [&](const QString& title, Port& port) {
    auto* box = new QGroupBox(title, this);
    auto* grid = new QGridLayout(box);
    auto group = [&](int row, const char* label, std::initializer_list<const char*> names, int enabled_mask,
                     std::vector<QRadioButton*>& out) {
      grid->addWidget(new QLabel(QString::fromLatin1(label), box), row, 0);
      auto* g = new QButtonGroup(box);
      int col = 1, bit = 0;
      for (const char* n : names) {
        auto* b = new QRadioButton(QString::fromLatin1(n), box);
        b->setEnabled((enabled_mask >> bit) & 1);
        g->addButton(b);
        grid->addWidget(b, row, col++);
        out.push_back(b);
        ++bit;
      }
      // Choices the terminal does not support are shown, disabled, and the supported one is set.
      for (QRadioButton* b : out) {
        if (b->isEnabled()) {
          b->setChecked(true);
          break;
        }
      }
    };
    std::vector<QRadioButton*> baud, hand, data, parity, stop, term;
    group(0, "Baud Rate", {"9600", "19200"}, 0b11, baud);
    group(1, "Handshaking", {"Hardware", "Xon/Xoff", "None"}, 0b110, hand);
    group(2, "Data Bits", {"7", "8"}, 0b10, data);
    group(3, "Parity", {"None", "Even", "Odd"}, 0b001, parity);
    group(4, "Stop Bits", {"1", "2"}, 0b01, stop);
    group(5, "String Terminator", {"CR", "LF", "CR+LF"}, 0b001, term);
    port = {baud[0], baud[1], hand[1], hand[2]};
    layout->addWidget(box);
  };
  make_port(QStringLiteral("RS232 Port 1 (Usually connected to the internal barcode scanner)"), port1);
  make_port(QStringLiteral("RS232 Port 2"), port2);
  auto* note = new QLabel(QStringLiteral("These settings refer to the internal RS232 port(s) and should not be changed "
                                         "without knowing the technical implications."),
                          this);
  note->setWordWrap(true);
  layout->addWidget(note);
  layout->addStretch();
}

void Rs232Page::Fill(const Configuration& c) {
  for (auto [port, values] : {std::pair{&port1, &c.port1}, std::pair{&port2, &c.port2}}) {
    (values->baud == 19200 ? port->b19200 : port->b9600)->setChecked(true);
    (values->xon_xoff ? port->xon : port->none)->setChecked(true);
  }
}

void Rs232Page::Store(Configuration& c) const {
  for (auto [port, values] : {std::pair{&port1, &c.port1}, std::pair{&port2, &c.port2}}) {
    values->baud = port->b19200->isChecked() ? 19200 : 9600;
    values->xon_xoff = port->xon->isChecked();
  }
}

// ---- Miscellaneous ----

MiscPage::MiscPage(QWidget* parent) : ConfigPage(parent) {
  auto* form = new QFormLayout(this);
  name = new QLineEdit(this);
  name_limit = new EncodedBytesValidator(config::kDeviceNameBytes, 1, name);
  name->setValidator(name_limit);
  name->setToolTip(QStringLiteral("At most 26 bytes in the terminal's code page"));
  rotate = new QCheckBox(QStringLiteral("Rotate"), this);
  invert = new QCheckBox(QStringLiteral("Invert"), this);
  disable_beep = new QCheckBox(QStringLiteral("Disable beep after scanning"), this);
  direction = ValueList(this, {{"Left to right", 0}, {"Right to left", 1}});
  idle_screen = ValueList(this, {{"Idle text message (see Messages-Tab)", 0}, {"(animated) Gif", 1}});
  speed = new QComboBox(this);
  for (int i = 1; i <= 10; ++i) speed->addItem(QString::number(i * 10), QVariant::fromValue<uint>(i));
  scan_interval = new QComboBox(this);
  for (int i = 0; i <= 8; ++i) scan_interval->addItem(QString::number(i * 250), QVariant::fromValue<uint>(i * 25));
  volume = new QComboBox(this);
  for (int i = 1; i <= 10; ++i) volume->addItem(QString::number(i * 10), QVariant::fromValue<uint>(i * 10));
  display_seconds = Number(this, 0, 15);
  host_wait = Number(this, 0, 15);
  codepage = new QComboBox(this);
  for (int i = 0; i < 16; ++i) {
    const std::string_view n = config::CodePageName(i);
    if (!n.empty()) codepage->addItem(QString::fromUtf8(n.data(), static_cast<int>(n.size())), QVariant::fromValue<uint>(i));
  }
  auto* flags = new QWidget(this);
  auto* fl = new QHBoxLayout(flags);
  fl->setContentsMargins(0, 0, 0, 0);
  fl->addWidget(rotate);
  fl->addWidget(invert);
  form->addRow(QStringLiteral("Device Name"), name);
  form->addRow(QString(), flags);
  form->addRow(QStringLiteral("Text direction"), direction);
  form->addRow(QStringLiteral("Idle screen"), idle_screen);
  form->addRow(QStringLiteral("Speed (%)"), speed);
  form->addRow(QStringLiteral("Minimum time between successive scans: (msec)"), scan_interval);
  form->addRow(QString(), disable_beep);
  form->addRow(QStringLiteral("Speaker volume (%)"), volume);
  auto* display_label = new QLabel(QStringLiteral("Time to display any text before the Idle Message is displayed (secs)"), this);
  display_label->setWordWrap(true);
  form->addRow(display_label, display_seconds);
  auto* wait_label = new QLabel(QStringLiteral("Time to wait for host data after scanning a barcode. After this, the "
                                               "Error Message is displayed. (secs)"),
                                this);
  wait_label->setWordWrap(true);
  form->addRow(wait_label, host_wait);
  form->addRow(QStringLiteral("Select Codepage or Character encoding"), codepage);
}

void MiscPage::Fill(const Configuration& c) {
  name_limit->SetCodepage(c.codepage);
  name->setText(Text(c.device_name));
  rotate->setChecked(c.rotate);
  invert->setChecked(c.invert);
  disable_beep->setChecked(c.disable_beep);
  SelectValue(direction, c.right_to_left ? 1 : 0);
  SelectValue(idle_screen, c.idle_gif ? 1 : 0);
  SelectValue(speed, c.speed_step);
  SelectValue(scan_interval, c.scan_interval);
  SelectValue(volume, c.volume_percent);
  display_seconds->setValue(c.display_seconds);
  host_wait->setValue(c.host_wait_seconds);
  SelectValue(codepage, c.codepage);
}

void MiscPage::Store(Configuration& c) const {
  c.device_name = name->text().toStdString();
  c.rotate = rotate->isChecked();
  c.invert = invert->isChecked();
  c.disable_beep = disable_beep->isChecked();
  c.right_to_left = ValueOf(direction) == 1;
  c.idle_gif = ValueOf(idle_screen) == 1;
  c.speed_step = static_cast<uint8_t>(ValueOf(speed));
  c.scan_interval = static_cast<uint8_t>(ValueOf(scan_interval));
  c.volume_percent = static_cast<uint8_t>(ValueOf(volume));
  c.display_seconds = static_cast<uint8_t>(display_seconds->value());
  c.host_wait_seconds = static_cast<uint8_t>(host_wait->value());
  c.codepage = static_cast<uint8_t>(ValueOf(codepage));
}

// ---- Retalix protocol activation and specifics ----

ActivationPage::ActivationPage(QWidget* parent) : ConfigPage(parent) {
  auto* layout = new QVBoxLayout(this);
  activate = new QCheckBox(QStringLiteral("Activate Retalix protocol"), this);
  layout->addWidget(activate);
  for (const char* p : {"After activation of the Retalix protocol, the KX25 can communicate with Retalix compatible MFS "
                        "servers.",
                        "Without this activation, the KX25 will behave like a standard KX25."}) {
    auto* l = new QLabel(QString::fromLatin1(p), this);
    l->setWordWrap(true);
    layout->addWidget(l);
  }
  layout->addStretch();
}

void ActivationPage::Fill(const Configuration& c) { activate->setChecked(c.retalix_active); }
void ActivationPage::Store(Configuration& c) const { c.retalix_active = activate->isChecked(); }

SpecificsPage::SpecificsPage(QWidget* parent) : ConfigPage(parent) {
  auto* layout = new QVBoxLayout(this);
  auto* net = new QGroupBox(QStringLiteral("Network"), this);
  auto* nf = new QFormLayout(net);
  pos_station = Number(net, 0, 255);
  mfs_station = Number(net, 0, 255);
  nf->addRow(QStringLiteral("POS Station"), pos_station);
  nf->addRow(QStringLiteral("MFS Station"), mfs_station);
  auto* price = new QGroupBox(QStringLiteral("Price"), this);
  auto* pf = new QFormLayout(price);
  currency = new QLineEdit(price);
  currency_limit = new EncodedBytesValidator(config::kCurrencyBytes, 1, currency);
  currency->setValidator(currency_limit);
  position = ValueList(price, {{"Left", 0}, {"Right", 1}});
  decimals = ValueList(price, {{"0", 0}, {"1", 1}, {"2", 2}, {"3", 3}});
  round_off = ValueList(price, {{"1", 1}, {"10", 10}, {"100", 100}, {"1000", 1000}});
  pf->addRow(QStringLiteral("Currency Symbol"), currency);
  pf->addRow(QStringLiteral("Position (rel. to price)"), position);
  pf->addRow(QStringLiteral("Nr of decimals"), decimals);
  pf->addRow(QStringLiteral("Round off PLU price to the nearest..."), round_off);
  layout->addWidget(net);
  layout->addWidget(price);
  layout->addStretch();
}

void SpecificsPage::Fill(const Configuration& c) {
  pos_station->setValue(c.retalix.pos_station);
  mfs_station->setValue(c.retalix.mfs_station);
  currency_limit->SetCodepage(c.codepage);
  currency->setText(Text(c.retalix.currency));
  SelectValue(position, c.retalix.symbol_position);
  SelectValue(decimals, c.retalix.decimals);
  SelectValue(round_off, c.retalix.round_off);
}

void SpecificsPage::Store(Configuration& c) const {
  c.retalix.pos_station = static_cast<uint8_t>(pos_station->value());
  c.retalix.mfs_station = static_cast<uint8_t>(mfs_station->value());
  c.retalix.currency = currency->text().toStdString();
  c.retalix.symbol_position = static_cast<uint8_t>(ValueOf(position));
  c.retalix.decimals = static_cast<uint8_t>(ValueOf(decimals));
  c.retalix.round_off = static_cast<uint16_t>(ValueOf(round_off));
}

}  // namespace kt::ui
