#include "tool/ui/sim_fixture.h"

#include <QMenu>
#include <QMessageBox>

#include <cstring>

#include "common/coding.h"
#include "common/net/udp_socket.h"
#include "tool/config/config_record.h"

namespace kt::ui::testing {

std::unique_ptr<sim::UdpTerminals> StartTerminals(const std::vector<SimTerminal>& terminals) {
  sim::UdpTerminalOptions o;
  o.count = static_cast<int>(terminals.size());
  o.listen_port = 0;
  auto started = sim::UdpTerminals::Start(o);
  if (!started.ok()) return nullptr;
  std::unique_ptr<sim::UdpTerminals> sim = std::move(*started);
  for (std::size_t i = 0; i < terminals.size(); ++i) {
    const SimTerminal& t = terminals[i];
    sim->EditRecord(static_cast<int>(i), [&](std::vector<std::byte>& r) {
      namespace cr = config::config_record;
      EncodeFixedBE32(r.data() + cr::kCurrentIp, net::ParseIpv4(t.ip).value_or(0));
      std::memset(r.data() + cr::kFirmwareVersion, 0, cr::kFirmwareVersionLength);
      std::memcpy(r.data() + cr::kFirmwareVersion, t.firmware.data(),
                  std::min(t.firmware.size(), cr::kFirmwareVersionLength));
      std::memset(r.data() + cr::kDeviceName, 0, cr::kDeviceNameLength);
      std::memcpy(r.data() + cr::kDeviceName, t.name.data(), std::min(t.name.size(), cr::kDeviceNameLength));
    });
  }
  return sim;
}

void MemoryStore::Save(const config::ToolSettings& s) {
  const config::SavedToolSettings v = config::ToStorage(s);
  stored.key_existed = true;
  stored.adapter_mac = v.adapter_mac;
  stored.adapter_ip = v.adapter_ip;
  stored.broadcast_port = v.broadcast_port;
  stored.ask_for_adapter = v.ask_for_adapter;
  stored.graphical_ui = v.graphical_ui;
  ++saves;
}

FakeServices::FakeServices() {
  services.run_modal = [this](QDialog& d) {
    if (on_modal) return on_modal(d);
    if (auto* box = qobject_cast<QMessageBox*>(&d)) {
      boxes << box->windowTitle() + "|" + box->text();
      return static_cast<int>(QMessageBox::Ok);
    }
    return static_cast<int>(QDialog::Rejected);
  };
  services.run_menu = [this](QMenu& m, const QPoint&) -> QAction* {
    ++menus_opened;
    return on_menu ? on_menu(m) : nullptr;
  };
  services.list_adapters = [this]() -> Result<std::vector<config::AdapterInfo>> { return adapters; };
  services.broadcast_interfaces = [] { return std::vector<unsigned>{}; };
  services.check_port = [this](uint16_t) { return port_check; };
  services.settings = &store;
  services.logical_dpi = 96;
}

config::AdapterInfo MakeAdapter(const std::string& name, uint8_t last, std::vector<std::string> ips, bool wireless) {
  config::AdapterInfo a;
  a.name = name;
  a.hardware_address = {0x00, 0x1B, 0x21, 0x3A, 0x4F, last};
  a.ethernet = !wireless;
  a.wireless = wireless;
  a.ipv4_addresses = std::move(ips);
  a.gateway = "192.168.1.1";
  return a;
}

}  // namespace kt::ui::testing
