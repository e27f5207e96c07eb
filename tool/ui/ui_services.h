// What the tool's windows need from the outside, as replaceable parts: modal dialogs and menus
// (tests answer them without a person), the adapter list, the settings store, the screen's
// resolution and the firmware client. The program uses the real ones (DefaultServices()).
#pragma once

#include <QPoint>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/status.h"
#include "tool/adapters/port_check.h"
#include "tool/config/tool_settings.h"
#include "tool/terminal/reachability_monitor.h"
#include "tool/ui/settings_store.h"

class QAction;
class QDialog;
class QMenu;

namespace kt::ui {

struct UiServices {
  // Runs a modal dialog (message boxes included) and returns its result.
  std::function<int(QDialog&)> run_modal;
  // Shows a popup menu at a global position and returns the chosen action, or nullptr.
  std::function<QAction*(QMenu&, const QPoint&)> run_menu;
  std::function<Result<std::vector<config::AdapterInfo>>()> list_adapters;
  // Interfaces that get their own copy of a broadcast discovery request.
  std::function<std::vector<unsigned>()> broadcast_interfaces;
  // Whether a local UDP port can be bound (the adapter dialog's check).
  std::function<adapters::PortCheck(uint16_t)> check_port;
  SettingsStore* settings = nullptr;
  // The screen's logical dots per inch, when a test decides it.
  std::optional<int> logical_dpi;
  // The TFTP client program and the TFTP port (0 = the standard port) for firmware uploads.
  std::string tftp_client;
  uint16_t tftp_port = 0;
  bool pin_arp_entry = true;
  // Echo checks of the TCP terminal's reachability monitor; empty: ICMP echo.
  terminal::EchoCheckFactory echo_checks;
};

// Real dialogs and menus, the system's adapters, QSettings.
UiServices DefaultServices();

}  // namespace kt::ui
