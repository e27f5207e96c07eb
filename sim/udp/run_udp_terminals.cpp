// `kx25sim terminals`: simulated terminals on UDP until interrupted (or --seconds elapse).
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>

#include "common/cli/command_line.h"
#include "common/text/text.h"
#include "sim/udp/run_udp_terminals.h"
#include "sim/udp/terminal_services.h"
#include "sim/udp/udp_terminals.h"

namespace kt::sim {
namespace {

volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }

}  // namespace

CLI::App* AddTerminalsCommand(CLI::App& app, UdpCommand& c) {
  CLI::App* cmd = app.add_subcommand(
      "terminals",
      "simulated terminals that answer discovery and configuration commands on UDP (default "
      "127.0.0.1:10004), until interrupted or --seconds elapse");
  UdpTerminalOptions& o = c.options;
  cmd->add_option("--count", o.count, "how many terminals")->type_name("N")->check(CLI::Range(0, 100000));
  cmd->add_option("--listen", c.listen, "local address and port to answer on")
      ->type_name("ADDR[:PORT]")
      ->check([&o](const std::string& text) -> std::string {
        std::string addr = text, port;
        if (auto colon = addr.find(':'); colon != std::string::npos) {
          port = addr.substr(colon + 1);
          addr.resize(colon);
        }
        auto ip = net::ParseIpv4(addr);
        if (!ip) return "'" + text + "' is not an IPv4 address";
        o.listen_address = *ip;
        if (!port.empty()) {
          const std::optional<long long> n = kt::text::ParseIntegerLenient(port, 0, 65535);
          if (!n) return "bad port in '" + text + "'";
          o.listen_port = static_cast<uint16_t>(*n);
        }
        return {};
      });
  cmd->add_option("--firmware", o.firmware, "firmware version text of every terminal (02.10, 03.10, ...)")
      ->type_name("VERSION")
      ->check([](const std::string& v) { return v.size() == 5 ? std::string() : "five characters, like 03.10"; });
  cmd->add_option("--record-version", o.record_version, "configuration record version (2, 3, 4 or 5)")
      ->type_name("N");
  cmd->add_option("--name-prefix", o.name_prefix, "device names are this text and a number")->type_name("TEXT");
  cmd->add_option("--first-ip", c.first_ip, "address of the first terminal (the next ones count up)")
      ->type_name("ADDR")
      ->check(cli::kIpv4);
  cmd->add_flag("--reply-broadcast", o.reply_broadcast, "answer to the limited broadcast address");
  cmd->add_option("--seconds", c.seconds, "stop after S seconds")->type_name("S")->check(CLI::Range(1, 86400));
  cmd->add_flag("--quiet", c.quiet, "do not print each datagram");
  AddTerminalServiceOptions(*cmd, c.services);
  return cmd;
}

int RunUdpTerminals(UdpCommand& c) {
  UdpTerminalOptions& o = c.options;
  if (!c.first_ip.empty()) o.first_ip = *net::ParseIpv4(c.first_ip);
  const long seconds = c.seconds;
  const bool quiet = c.quiet;
  const TerminalServiceOptions& services = c.services;
  if (!quiet) {
    o.log = [](const std::string& line) {
      std::printf("%s\n", line.c_str());
      std::fflush(stdout);
    };
  }
  auto extra = TerminalServices::Start(services, o.first_ip, o.log ? o.log : [](const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  });
  if (!extra.ok()) {
    std::fprintf(stderr, "kx25sim terminals: %s\n", extra.status().ToString().c_str());
    return 1;
  }
  o.tcp_server_port = (*extra)->tcp_port();
  auto sim = UdpTerminals::Start(o);
  if (!sim.ok()) {
    std::fprintf(stderr, "kx25sim terminals: %s\n", sim.status().ToString().c_str());
    return 1;
  }
  std::printf("kx25sim: %d terminals listening on %s:%u\n", o.count,
              net::FormatIpv4((*sim)->endpoint().address).c_str(), (*sim)->endpoint().port);
  std::fflush(stdout);
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!g_stop && (seconds == 0 || std::chrono::steady_clock::now() < until)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  (*sim)->Stop();
  (*extra)->Stop();
  return 0;
}

}  // namespace kt::sim

