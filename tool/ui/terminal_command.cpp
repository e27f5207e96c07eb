// The main window's Terminal command: the checks before a TCP terminal window opens for the
// focused terminal (pinned address, known device, firmware that can talk TCP, configured as TCP
// server), then the window itself.
#include <QMessageBox>

#include "common/net/udp_socket.h"
#include "tool/config/config_record.h"
#include "tool/firmware/static_arp.h"
#include "tool/ui/main_window.h"
#include "tool/ui/terminal_window.h"

namespace kt::ui {

namespace {

inline constexpr const char* kUnknownDeviceText =
    "The device you are trying to connect to, is not an\n"
    "KX25, or it's an KX25 with older firmware.\n\n"
    "Please update to the latest firmware version.";
inline constexpr const char* kRetailChainText =
    "The device you are trying to connect to, is running\n"
    "special MARLO firmware and can't communicate over TCP.\n\n";
inline constexpr const char* kNotTcpServerText =
    "This Corvane should be configured as 'TCP Server' before the TCP terminal\n"
    "can be used. Please configure it first...\n\n"
    "Would you like to do that now?\n";

}  // namespace

void MainWindow::TerminalCommand() {
  if (scanning_ || upload_) return;
  config::Mac mac{};
  uint32_t ip = 0;
  if (!list_->FocusedTerminal(mac, ip)) {
    ShowMessage(QStringLiteral("Error"), QStringLiteral("Error"), QMessageBox::Warning);
    return;
  }
  if (services_.pin_arp_entry) firmware::PinTerminalAddress(ip, mac);
  const discovery::DeviceEntry* entry = state_.table.Find(mac);
  if (!entry) {
    ShowMessage(QStringLiteral("Unknown Device"), QString::fromLatin1(kUnknownDeviceText), QMessageBox::Warning);
    return;
  }
  Result<config::Configuration> c = config::DecodeConfigRecord(entry->slot);
  if (!c.ok()) {
    ShowMessage(QStringLiteral("Unknown Device"), QString::fromStdString(c.status().message()), QMessageBox::Warning);
    return;
  }
  if (config::HasRetalixBlock(c->version)) {
    ShowMessage(QStringLiteral("MARLO firmware detected"), QString::fromLatin1(kRetailChainText), QMessageBox::Warning);
    return;
  }
  if (!c->tcp_server || c->udp) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Incompatible Configuration..."),
                    QString::fromLatin1(kNotTcpServerText), QMessageBox::Yes | QMessageBox::No, this);
    if (services_.run_modal(box) == QMessageBox::Yes) ConfigureTerminal(mac);
    return;
  }
  terminal::TerminalTarget target;
  target.ip = net::FormatIpv4(ip);
  target.port = c->tcp_port;
  target.codepage_index = c->codepage;
  terminal::SessionOptions options;
  if (services_.echo_checks) options.echo_checks = services_.echo_checks;
  auto* window = new TerminalWindow(target, std::move(options), this);
  window->show();
  window->raise();
}

}  // namespace kt::ui
