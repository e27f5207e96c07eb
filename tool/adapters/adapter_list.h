// The PC's network adapters for the adapter choice, and the interfaces discovery broadcasts on.
//
// Ethernet and Wi-Fi interfaces (loopback and interfaces without a hardware address are left out),
// each with its IPv4 addresses in the order they were added ("0.0.0.0" when it has none), the
// gateway of its default route, and DHCP.
// Linux (adapter_list.cpp): netlink and sysfs; an address with a finite lifetime counts as leased,
// and the server is read from the lease file when dhclient or systemd-networkd keeps one.
// Windows (adapter_list_windows.cpp): GetAdaptersAddresses, which knows DHCP and its server.
#pragma once

#include <string>
#include <vector>

#include "common/status.h"
#include "tool/config/tool_settings.h"

namespace kt::adapters {

Result<std::vector<config::AdapterInfo>> ListAdapters();

// Indexes of the interfaces that are up, not loopback, and have an IPv4 broadcast address: a
// discovery request with no chosen adapter goes out through each of them.
std::vector<unsigned> BroadcastInterfaces();

// What the adapter dialog shows as "DHCP": the server address when DHCP is enabled and the
// server is known, otherwise "N/A".
inline std::string DhcpText(const config::AdapterInfo& a) {
  return a.dhcp_enabled && !a.dhcp_server.empty() ? a.dhcp_server : "N/A";
}

}  // namespace kt::adapters
