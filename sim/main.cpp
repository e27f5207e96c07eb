// kx25sim: simulated KX25 terminals.
//
//   kx25sim terminals ...   terminals on UDP that answer discovery and configuration commands
//   kx25sim [connect] ...   terminals on TCP that scan codes against a price-check server
#include <iostream>
#include <string>
#include <vector>

#include "common/cli/command_line.h"
#include "sim/tcp/run_tcp_terminals.h"
#include "sim/udp/run_udp_terminals.h"

int main(int argc, char** argv) {
  kt::cli::CommandLine cl("kx25sim", "Simulated KX25 terminals for tests, demos and load.");
  CLI::App& app = cl.app();
  app.require_subcommand(1);
  kt::sim::TcpCommand tcp;
  CLI::App* connect = kt::sim::AddConnectCommand(app, tcp);
  kt::sim::UdpCommand udp;
  CLI::App* terminals = kt::sim::AddTerminalsCommand(app, udp);

  std::vector<std::string> args(argv + 1, argv + argc);
  // `connect` is the default command: "kx25sim --port 9101 AQ600" scans.
  const bool top_level = !args.empty() && (args[0] == "-h" || args[0] == "--help" || args[0] == "--version");
  const bool named = !args.empty() && !app.get_subcommands([&](CLI::App* sub) {
                                          return sub->check_name(args[0]);
                                        }).empty();
  if (!top_level && !named) {
    args.insert(args.begin(), "connect");
  }
  if (auto done = cl.Parse(args, std::cout, std::cerr)) return *done;
  if (connect->parsed()) return kt::sim::RunTcpTerminals(*connect, tcp);
  if (terminals->parsed()) return kt::sim::RunUdpTerminals(udp);
  return cl.UsageError(std::cerr, "no command given");
}
