// Discovery for the kx25ctl commands that work on one terminal by IP or MAC address (terminal,
// firmware): the shared discovery options and a scan that stops as soon as the terminal answers.
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "tool/discovery/device_table.h"
#include "tool/discovery/scanner.h"

namespace kt::ctl {

inline constexpr const char* kDiscoveryOptionsUsage =
    "  --to ADDR[:PORT]   destination of the discovery request (default 255.255.255.255:10004)\n"
    "  --bind IP          local address to send from (default 0.0.0.0)\n"
    "  --port N           local UDP port (default 0: the system chooses)\n"
    "  --seconds N        how long to look for the terminal (default 15)\n";

// Takes the discovery option at argv[i] (advancing i past its value). Returns false when argv[i]
// is not one; sets `error` when it is but the value is bad.
bool ParseDiscoveryOption(int argc, char** argv, int& i, discovery::ScanOptions& o, std::string& error);

// A terminal named by IP address or MAC address on the command line.
struct TerminalName {
  std::optional<uint32_t> ip;
  std::optional<config::Mac> mac;
  bool Matches(const discovery::DeviceSummary& d) const;
  std::string text;
};
// MAC text (12 hex digits with or without '-'/':') or dotted IPv4 text; nullopt otherwise.
std::optional<TerminalName> ParseTerminalName(const std::string& text);

// Scans until the terminal answers (or the countdown ends); prints why on `err` when it does not.
std::optional<discovery::DeviceEntry> FindTerminal(const discovery::ScanOptions& options, const TerminalName& name,
                                                   std::FILE* err);

}  // namespace kt::ctl
