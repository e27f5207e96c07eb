// kx25sim's `terminals` command: terminals on UDP that answer discovery and configuration.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

#include "sim/udp/terminal_services.h"
#include "sim/udp/udp_terminals.h"

namespace kt::sim {

// The command's arguments as parsed.
struct UdpCommand {
  UdpTerminalOptions options;
  std::string listen, first_ip;
  long seconds = 0;  // 0: until interrupted
  bool quiet = false;
  TerminalServiceOptions services;  // TCP server, scans and TFTP of the first terminal
};

// Declares the command and its options on `app`, filling `c` when parsed.
CLI::App* AddTerminalsCommand(CLI::App& app, UdpCommand& c);
// Runs the parsed command until interrupted; returns the exit code.
int RunUdpTerminals(UdpCommand& c);

}  // namespace kt::sim
