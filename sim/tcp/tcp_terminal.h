// Simulated KX25 terminals on TCP: a terminal connects to the price-check server, takes the
// greeting, sends scanned codes as lines ended with CR and collects one reply per code.
//
// Replies have no framing on the wire. A reply counts as complete when its bytes end the way the
// server's streams end (0x03 after aligned text, 0x0D after a wrapped error line, or the bare
// "###" of an empty code), or when no byte came for the quiet time after the last one.
//
// RunLoad drives many terminals at once from one process, one thread each, optionally each from
// its own source address on 127.0.0.0/8 (a server retires older sessions from the same address),
// and measures every scan's latency (send to complete reply). It also checks that every reply to
// the same code is the same bytes, which catches replies that were lost or came out of order.
//
// Thread safety: a TcpTerminal belongs to one thread; RunLoad may be called from any thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/net/socket_handle.h"
#include "common/status.h"

namespace kt::sim {

using Millis = std::chrono::milliseconds;

struct TerminalOptions {
  std::string host = "127.0.0.1";
  uint16_t port = 9101;
  std::string source_ip;  // empty: the system picks
  std::string prefix = "F";  // sent before each code (the server drops a line's first character)
  Millis connect_timeout{3000};
  Millis reply_timeout{5000};  // no complete reply within this: an error
  Millis quiet{300};           // silence that ends a reply of unknown shape
};

// True when `r` ends the way every stream of the default templates ends.
bool LooksComplete(const std::string& r);

class TcpTerminal {
 public:
  explicit TcpTerminal(TerminalOptions options) : options_(std::move(options)) {}

  // Connects and reads the greeting.
  Status Connect();
  const std::string& greeting() const { return greeting_; }
  // Sends prefix + code + CR and returns the reply.
  Result<std::string> Scan(const std::string& code);
  void Close() { socket_.Close(); }

 private:
  Result<std::string> ReadReply();

  const TerminalOptions options_;
  net::SocketHandle socket_;
  std::string greeting_;
  std::string pending_;  // bytes received beyond the last reply (should stay empty)
};

struct LoadOptions {
  TerminalOptions terminal;
  int terminals = 1;
  int scans = 100;  // per terminal
  bool spread_addresses = false;
  std::vector<std::string> codes;  // cycled; terminal i starts at code i
  // Terminals connecting at the same moment: a server listens with a small backlog, so a crowd
  // of simultaneous connects would be dropped and retried by TCP seconds later.
  int connect_concurrency = 4;
  // Pause between the scans of one terminal (0: back to back). Terminals start at random
  // offsets within the first interval so their scans spread over it.
  Millis interval{0};
  // Called once every terminal is connected, before the first scan.
  std::function<void()> on_connected;
  // Called once every terminal has finished its scans, before any disconnects.
  std::function<void()> on_finished;
};

struct LoadResult {
  int terminals_connected = 0;
  long scans = 0;
  long replies = 0;
  long errors = 0;       // connect failures, send failures, missing replies
  long mismatches = 0;   // a reply differing from the first reply to the same code
  double seconds = 0;    // from the first scan to the last reply
  std::vector<double> latencies_us;  // sorted

  double Percentile(double p) const;  // microseconds; 0 without samples
  double ScansPerSecond() const { return seconds > 0 ? static_cast<double>(replies) / seconds : 0; }
};

// The source address of simulated terminal i (0-based) with spread addresses: 127.0.x.y.
std::string SpreadAddress(int i);

LoadResult RunLoad(const LoadOptions& options);

}  // namespace kt::sim
