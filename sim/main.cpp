// kx25sim: simulated KX25 terminals.
//
//   kx25sim terminals ...   terminals on UDP that answer discovery and configuration commands
//   kx25sim [connect] ...   terminals on TCP that scan codes against a price-check server
#include <iostream>
#include <string>
#include <vector>

#include "common/cli/command_line.h"

#ifdef KX25SIM_HAS_TCP
#include "sim/tcp/run_tcp_terminals.h"
#endif
#ifdef KX25SIM_HAS_UDP
#include "sim/udp/run_udp_terminals.h"
#endif

int main(int argc, char** argv) {
  kt::cli::CommandLine cl("kx25sim", "Simulated KX25 terminals for tests, demos and load.");
  CLI::App& app = cl.app();
  app.require_subcommand(1);
#ifdef KX25SIM_HAS_TCP
  kt::sim::TcpCommand tcp;
  CLI::App* connect = kt::sim::AddConnectCommand(app, tcp);
#endif
#ifdef KX25SIM_HAS_UDP
  kt::sim::UdpCommand udp;
  CLI::App* terminals = kt::sim::AddTerminalsCommand(app, udp);
#endif

  std::vector<std::string> args(argv + 1, argv + argc);
#ifdef KX25SIM_HAS_TCP
  // `connect` is the default command: "kx25sim --port 9101 AQ600" scans.
  const bool top_level = !args.empty() && (args[0] == "-h" || args[0] == "--help" || args[0] == "--version");
  const bool named = !args.empty() && !app.get_subcommands([&](CLI::App* sub) {
                                          return sub->check_name(args[0]);
                                        }).empty();
  if (!top_level && !named) {
    args.insert(args.begin(), "connect");
  }
#endif
  if (auto done = cl.Parse(args, std::cout, std::cerr)) return *done;
#ifdef KX25SIM_HAS_TCP
  if (connect->parsed()) return kt::sim::RunTcpTerminals(*connect, tcp);
#endif
#ifdef KX25SIM_HAS_UDP
  if (terminals->parsed()) return kt::sim::RunUdpTerminals(udp);
#endif
  return cl.UsageError(std::cerr, "no command given");
}
