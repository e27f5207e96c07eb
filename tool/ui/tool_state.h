// What the configuration tool keeps for as long as it runs, across re-created main windows: the
// command-line flags, the tool settings, the device table, the sort mode and the cloning source.
#pragma once

#include <filesystem>
#include <optional>

#include "common/net/udp_socket.h"
#include "tool/config/configuration.h"
#include "tool/config/tool_settings.h"
#include "tool/discovery/device_table.h"
#include "tool/discovery/sort_mode.h"
#include "tool/ui/program_flags.h"

namespace kt::ui {

struct ToolState {
  ProgramFlags flags;
  config::ToolSettings settings;
  discovery::DeviceTable table;
  int sort_mode = discovery::kInitialSortMode;
  std::optional<config::Mac> clone_source;
  // Folder of "clone.KX25"; empty: the per-user application data folder.
  std::filesystem::path clone_folder;
  // Where discovery requests go instead of the limited broadcast (KX25_DISCOVERY_TO).
  std::optional<net::UdpEndpoint> discovery_to;
  // Seconds a scan listens (tests and screenshots shorten it).
  int scan_seconds = 15;
};

}  // namespace kt::ui
