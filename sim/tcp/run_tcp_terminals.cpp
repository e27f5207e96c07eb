// The TCP side of kx25sim:
//
//   kx25sim [connect] [--host IP] [--port N] [--source IP] [--prefix TEXT] [--raw]
//           [--file PATH] [--stdin] [CODE ...]
//       one terminal: shows the greeting as the display would, scans each code (arguments, then
//       the file's lines, then standard input's lines) and shows each reply
//   kx25sim [connect] --terminals N --scans M [--spread-addresses] [--interval MS] [CODE ...]
//       load: N terminals at once, M scans each (back to back, or one every MS), then replies,
//       errors and latency percentiles
//
// Common: --reply-timeout MS (5000), --quiet MS (300). Each line sent is prefix + code + CR;
// the prefix defaults to "F" because the server drops the first character of every line.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "common/display/drawing.h"
#include "sim/tcp/tcp_terminal.h"

namespace {

using kt::sim::LoadOptions;
using kt::sim::TcpTerminal;
using kt::sim::TerminalOptions;

void Usage() {
  std::fprintf(stderr,
               "usage: kx25sim [connect] [--host IP] [--port N] [--source IP] [--prefix TEXT] [--raw]\n"
               "               [--file PATH] [--stdin] [--reply-timeout MS] [--quiet MS] [CODE ...]\n"
               "       kx25sim [connect] --terminals N --scans M [--spread-addresses] [--interval MS] [CODE ...]\n");
}

bool ParseInt(const char* s, long lo, long hi, long& out) {
  char* end = nullptr;
  errno = 0;
  out = std::strtol(s, &end, 10);
  return errno == 0 && end != s && *end == '\0' && out >= lo && out <= hi;
}

void Show(const std::string& title, const std::string& stream, bool raw) {
  const std::string drawn = kt::display::DrawStream(title, stream, raw);
  std::fwrite(drawn.data(), 1, drawn.size(), stdout);
  std::fflush(stdout);
}

void ReadCodes(std::istream& in, std::vector<std::string>& codes) {
  std::string line;
  while (std::getline(in, line)) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    if (!line.empty()) codes.push_back(line);
  }
}

}  // namespace

int RunTcpTerminals(int argc, char** argv) {
  TerminalOptions to;
  std::vector<std::string> codes;
  std::vector<std::string> files;
  bool use_stdin = false, raw = false, load = false, spread = false;
  long terminals = 1, scans = 1, v = 0;
  kt::sim::Millis interval{0};
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool more = i + 1 < argc;
    if (a == "--help" || a == "-h") {
      Usage();
      return 0;
    } else if (a == "--host" && more) {
      to.host = argv[++i];
    } else if (a == "--port" && more && ParseInt(argv[i + 1], 1, 65535, v)) {
      to.port = static_cast<uint16_t>(v);
      ++i;
    } else if (a == "--source" && more) {
      to.source_ip = argv[++i];
    } else if (a == "--prefix" && more) {
      to.prefix = argv[++i];
    } else if (a == "--file" && more) {
      files.push_back(argv[++i]);
    } else if (a == "--stdin" || a == "-") {
      use_stdin = true;
    } else if (a == "--raw") {
      raw = true;
    } else if (a == "--terminals" && more && ParseInt(argv[i + 1], 1, 5000, terminals)) {
      load = true;
      ++i;
    } else if (a == "--scans" && more && ParseInt(argv[i + 1], 0, 100000000, scans)) {
      load = true;
      ++i;
    } else if (a == "--interval" && more && ParseInt(argv[i + 1], 0, 600000, v)) {
      interval = kt::sim::Millis(v);
      ++i;
    } else if (a == "--spread-addresses") {
      spread = true;
    } else if (a == "--reply-timeout" && more && ParseInt(argv[i + 1], 1, 600000, v)) {
      to.reply_timeout = kt::sim::Millis(v);
      ++i;
    } else if (a == "--quiet" && more && ParseInt(argv[i + 1], 1, 600000, v)) {
      to.quiet = kt::sim::Millis(v);
      ++i;
    } else if (a.rfind("--", 0) == 0) {
      std::fprintf(stderr, "kx25sim: unknown or incomplete option %s\n", a.c_str());
      Usage();
      return 2;
    } else {
      codes.push_back(a);
    }
  }
  for (const auto& f : files) {
    std::ifstream in(f);
    if (!in) {
      std::fprintf(stderr, "kx25sim: cannot read %s\n", f.c_str());
      return 2;
    }
    ReadCodes(in, codes);
  }
  if (use_stdin) ReadCodes(std::cin, codes);

  if (load) {
    if (codes.empty()) {
      std::fprintf(stderr, "kx25sim: load needs at least one code\n");
      return 2;
    }
    if (terminals > 1 && !spread)
      std::fprintf(stderr, "kx25sim: warning: %ld terminals from one address retire each other; "
                           "use --spread-addresses\n", terminals);
    LoadOptions lo;
    lo.terminal = to;
    lo.terminals = static_cast<int>(terminals);
    lo.scans = static_cast<int>(scans);
    lo.spread_addresses = spread;
    lo.codes = codes;
    lo.interval = interval;
    const auto r = kt::sim::RunLoad(lo);
    std::printf("terminals %ld (connected %d), scans %ld, replies %ld, errors %ld, mismatches %ld\n",
                terminals, r.terminals_connected, r.scans, r.replies, r.errors, r.mismatches);
    std::printf("elapsed %.3f s, %.0f scans/s\n", r.seconds, r.ScansPerSecond());
    std::printf("latency us: p50 %.0f  p90 %.0f  p99 %.0f  max %.0f\n", r.Percentile(50), r.Percentile(90),
                r.Percentile(99), r.Percentile(100));
    return (r.errors == 0 && r.mismatches == 0 && r.terminals_connected == terminals) ? 0 : 1;
  }

  TcpTerminal t(to);
  if (kt::Status st = t.Connect(); !st.ok()) {
    std::fprintf(stderr, "kx25sim: %s:%u: %s\n", to.host.c_str(), to.port, st.ToString().c_str());
    return 1;
  }
  Show("greeting", t.greeting(), raw);
  int failures = 0;
  for (const auto& code : codes) {
    auto reply = t.Scan(code);
    if (!reply.ok()) {
      std::fprintf(stderr, "kx25sim: scan %s: %s\n", code.c_str(), reply.status().ToString().c_str());
      ++failures;
      if (!reply.status().IsUnavailable()) break;
      continue;
    }
    Show("scan " + code, *reply, raw);
  }
  return failures == 0 ? 0 : 1;
}
