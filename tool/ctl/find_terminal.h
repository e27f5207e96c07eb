// Discovery for the kx25ctl commands that work on one terminal by IP or MAC address (terminal,
// firmware): a scan that stops as soon as the terminal answers.
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "tool/discovery/device_table.h"
#include "tool/discovery/scanner.h"

namespace kt::ctl {

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
