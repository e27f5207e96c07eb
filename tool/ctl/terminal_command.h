// `kx25ctl terminal IP [PORT]`: the TCP terminal in the text console. What the terminal sends is
// shown by the log rules, typed keys follow the typing rules (with --hex, hex digits make bytes),
// Ctrl-] (or the end of standard input) leaves; with --respond scanned codes are answered with
// demonstration screens.
//
// Without PORT the terminal is first found by discovery, which gives its TCP port and code page
// and lets the opening checks run (MARLO firmware, TCP-server configuration) and the static ARP
// entry be made; with PORT it connects at once (code page from --codepage, default 1).
#pragma once

#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>
#include <vector>

#include "tool/discovery/scanner.h"

namespace kt::ctl {

struct TerminalArgs {
  std::vector<std::string> positional;  // IP [PORT]
  bool respond = false, hex = false;
  int codepage = 1;
};

// Declares the command and its own options on `app`, filling `a` when parsed.
CLI::App* AddTerminalCommand(CLI::App& app, TerminalArgs& a);
// Runs the parsed command; `scan` holds the discovery options. Returns the exit code.
int RunTerminalCommand(const TerminalArgs& a, const discovery::ScanOptions& scan, std::FILE* out, std::FILE* err);

}  // namespace kt::ctl
