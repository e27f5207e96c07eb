// Simulated terminals and window services for the window tests and the screenshots: terminals on
// loopback with chosen addresses, firmware and names; settings in a private folder; modal dialogs
// and menus answered by the caller instead of a person.
#pragma once

#include <QDialog>
#include <QSettings>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sim/udp/udp_terminals.h"
#include "tool/ui/settings_store.h"
#include "tool/ui/ui_services.h"

namespace kt::ui::testing {

struct SimTerminal {
  std::string ip;
  std::string firmware;  // 5 characters
  std::string name;
};

// Starts one simulated terminal per entry on 127.0.0.1 (port chosen by the system).
std::unique_ptr<sim::UdpTerminals> StartTerminals(const std::vector<SimTerminal>& terminals);

// Settings kept in memory, as a store would keep them.
class MemoryStore : public SettingsStore {
 public:
  config::StoredToolSettings Load() override { return stored; }
  void Save(const config::ToolSettings& s) override;
  config::StoredToolSettings stored;
  int saves = 0;
};

// Services that never block: every modal dialog goes to `on_modal` (default: message boxes are
// recorded as "caption|text" and answered OK; other dialogs are rejected), menus to `on_menu`.
struct FakeServices {
  FakeServices();
  UiServices services;
  MemoryStore store;
  std::vector<config::AdapterInfo> adapters;
  adapters::PortCheck port_check = adapters::PortCheck::kUsable;
  QStringList boxes;
  std::function<int(QDialog&)> on_modal;
  std::function<QAction*(QMenu&)> on_menu;
  int menus_opened = 0;
};

config::AdapterInfo MakeAdapter(const std::string& name, uint8_t last_mac_byte, std::vector<std::string> ips,
                                bool wireless = false);

}  // namespace kt::ui::testing
