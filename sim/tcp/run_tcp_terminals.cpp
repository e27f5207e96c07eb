// The TCP side of kx25sim (options declared in AddConnectCommand):
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
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "common/display/drawing.h"
#include "sim/tcp/run_tcp_terminals.h"
#include "sim/tcp/tcp_terminal.h"

namespace {

using kt::sim::LoadOptions;
using kt::sim::TcpTerminal;
using kt::sim::TerminalOptions;

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

namespace kt::sim {

CLI::App* AddConnectCommand(CLI::App& app, TcpCommand& c) {
  CLI::App* cmd = app.add_subcommand(
      "connect",
      "(the default command) one terminal: shows the greeting as the display would, scans each "
      "code (arguments, then the files' lines, then standard input's lines) and shows each reply; "
      "with --terminals/--scans: load, N terminals at once, M scans each, then replies, errors and "
      "latency percentiles. Each line sent is prefix + code + CR.");
  TerminalOptions& to = c.to;
  cmd->add_option("--host", to.host, "the server's address (default 127.0.0.1)")->type_name("IP");
  cmd->add_option("--port", to.port, "the server's port (default 9101)")->type_name("N")->check(CLI::Range(1, 65535));
  cmd->add_option("--source", to.source_ip, "local address to connect from")->type_name("IP");
  cmd->add_option("--prefix", to.prefix,
                  "sent before each code (default \"F\": the server drops the first character)")
      ->type_name("TEXT");
  cmd->add_flag("--raw", c.raw, "also print each reply's bytes in hex");
  cmd->add_option("--file", c.files, "scan the lines of PATH too")->type_name("PATH");
  cmd->add_flag("--stdin", c.use_stdin, "scan the lines of standard input too (also: -)");
  cmd->add_option("--reply-timeout", c.reply_timeout_ms, "how long to wait for a reply (default 5000)")
      ->type_name("MS")
      ->check(CLI::Range(1, 600000));
  cmd->add_option("--quiet", c.quiet_ms, "a reply is complete after this much silence (default 300)")
      ->type_name("MS")
      ->check(CLI::Range(1, 600000));
  cmd->add_option("--terminals", c.terminals, "load: this many terminals at once")
      ->type_name("N")
      ->check(CLI::Range(1, 5000));
  cmd->add_option("--scans", c.scans, "load: scans per terminal")->type_name("M")->check(CLI::Range(0, 100000000));
  cmd->add_option("--interval", c.interval_ms, "load: one scan every MS per terminal (default: back to back)")
      ->type_name("MS")
      ->check(CLI::Range(0, 600000));
  cmd->add_flag("--spread-addresses", c.spread, "load: each terminal from its own 127.0.x.y address");
  cmd->add_option("CODE", c.codes, "codes to scan");
  return cmd;
}

int RunTcpTerminals(const CLI::App& cmd, TcpCommand& c) {
  TerminalOptions& to = c.to;
  std::vector<std::string>& codes = c.codes;
  const std::vector<std::string>& files = c.files;
  // "-" among the codes stands for standard input.
  if (auto dash = std::find(codes.begin(), codes.end(), "-"); dash != codes.end()) {
    codes.erase(dash);
    c.use_stdin = true;
  }
  const bool use_stdin = c.use_stdin, raw = c.raw, spread = c.spread;
  const bool load = cmd.count("--terminals") > 0 || cmd.count("--scans") > 0;
  const long terminals = c.terminals, scans = c.scans;
  const kt::sim::Millis interval{c.interval_ms};
  if (c.reply_timeout_ms > 0) to.reply_timeout = kt::sim::Millis(c.reply_timeout_ms);
  if (c.quiet_ms > 0) to.quiet = kt::sim::Millis(c.quiet_ms);
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

}  // namespace kt::sim
