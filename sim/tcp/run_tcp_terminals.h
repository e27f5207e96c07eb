// kx25sim's `connect` command (the default): TCP terminals that scan against the server.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "sim/tcp/tcp_terminal.h"

namespace kt::sim {

// The command's arguments as parsed.
struct TcpCommand {
  TerminalOptions to;
  std::vector<std::string> codes;
  std::vector<std::string> files;
  bool use_stdin = false, raw = false, spread = false;
  long terminals = 1, scans = 1;
  long interval_ms = 0;
  long reply_timeout_ms = 0, quiet_ms = 0;  // 0: the terminal's defaults
};

// Declares the command and its options on `app`, filling `c` when parsed.
CLI::App* AddConnectCommand(CLI::App& app, TcpCommand& c);
// Runs the parsed command; returns the exit code.
int RunTcpTerminals(const CLI::App& cmd, TcpCommand& c);

}  // namespace kt::sim
