// `kx25sim terminals`: simulated terminals on UDP until interrupted (or --seconds elapse).
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "sim/udp/terminal_services.h"
#include "sim/udp/udp_terminals.h"

namespace kt::sim {
namespace {

volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }

const std::string kUsageText =
    std::string("usage: kx25sim terminals --count N [--listen ADDR[:PORT]] [--firmware 02.10|03.10|...]\n"
                "                         [--record-version 2|3|4|5] [--name-prefix TEXT]\n"
                "                         [--first-ip ADDR] [--reply-broadcast] [--seconds S] [--quiet]\n") +
    kTerminalServiceUsage +
    "Answers discovery and configuration commands on UDP (default 127.0.0.1:10004).\n";
const char* const kUsage = kUsageText.c_str();

bool ParseNumber(const char* text, long lo, long hi, long& out) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text, &end, 10);
  if (errno || !end || *end || end == text || v < lo || v > hi) return false;
  out = v;
  return true;
}

}  // namespace

int RunUdpTerminalsMain(int argc, char** argv) {
  UdpTerminalOptions o;
  TerminalServiceOptions services;
  long seconds = 0;
  bool quiet = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
    long n = 0;
    auto need = [&](bool ok) {
      if (!ok) {
        std::fprintf(stderr, "kx25sim terminals: bad or missing value for %s\n%s", a.c_str(), kUsage);
      }
      return ok;
    };
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == "--count") {
      if (!need(v && ParseNumber(v, 0, 100000, n))) return 2;
      o.count = static_cast<int>(n);
      ++i;
    } else if (a == "--listen") {
      if (!need(v != nullptr)) return 2;
      std::string addr = v, port;
      if (auto colon = addr.find(':'); colon != std::string::npos) {
        port = addr.substr(colon + 1);
        addr.resize(colon);
      }
      auto ip = net::ParseIpv4(addr);
      if (!need(ip.has_value() && (port.empty() || ParseNumber(port.c_str(), 0, 65535, n)))) return 2;
      o.listen_address = *ip;
      if (!port.empty()) o.listen_port = static_cast<uint16_t>(n);
      ++i;
    } else if (a == "--firmware") {
      if (!need(v && std::strlen(v) == 5)) return 2;
      o.firmware = v;
      ++i;
    } else if (a == "--record-version") {
      if (!need(v && ParseNumber(v, 0, 65535, n))) return 2;
      o.record_version = static_cast<uint16_t>(n);
      ++i;
    } else if (a == "--name-prefix") {
      if (!need(v != nullptr)) return 2;
      o.name_prefix = v;
      ++i;
    } else if (a == "--first-ip") {
      auto ip = v ? net::ParseIpv4(v) : std::nullopt;
      if (!need(ip.has_value())) return 2;
      o.first_ip = *ip;
      ++i;
    } else if (a == "--reply-broadcast") {
      o.reply_broadcast = true;
    } else if (a == "--seconds") {
      if (!need(v && ParseNumber(v, 1, 86400, seconds))) return 2;
      ++i;
    } else if (a == "--quiet") {
      quiet = true;
    } else if (std::string error; ParseTerminalServiceOption(argc, argv, i, services, error)) {
      if (!need(error.empty())) return 2;
    } else {
      std::fprintf(stderr, "kx25sim terminals: unknown argument %s\n%s", a.c_str(), kUsage);
      return 2;
    }
  }
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

int RunUdpTerminals(int argc, char** argv) { return kt::sim::RunUdpTerminalsMain(argc, argv); }
