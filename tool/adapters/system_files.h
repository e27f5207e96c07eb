// Parsers for the system files the adapter list reads: the kernel's IPv4 routing table
// (/proc/net/route) for default gateways, and DHCP lease files for the server that gave an
// address. Pure text in, values out, so they are tested on fixed texts.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace kt::adapters {

// Interface name -> gateway (dotted) of its default route with the lowest metric. Lines that are
// not default routes through a gateway, and malformed lines, are skipped.
std::map<std::string, std::string> DefaultGateways(std::string_view proc_net_route);

// The server of a dhclient lease file: the last "option dhcp-server-identifier A.B.C.D;".
std::optional<std::string> DhcpServerFromDhclientLease(std::string_view text);

// The server of a systemd-networkd lease file: "SERVER_ADDRESS=A.B.C.D".
std::optional<std::string> DhcpServerFromNetworkdLease(std::string_view text);

}  // namespace kt::adapters
