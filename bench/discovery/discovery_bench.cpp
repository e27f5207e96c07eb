// One discovery scan against many simulated terminals that all answer at once (loopback).
// Prints, per run: terminals listed, time until the last one was listed, datagrams the kernel
// dropped for want of receive buffer, and the scan's total time.
//
//   discovery_bench [--terminals N] [--runs R] [--seconds S]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sim/udp/udp_terminals.h"
#include "tool/discovery/scanner.h"

namespace {

using Clock = std::chrono::steady_clock;

// UDP "RcvbufErrors" from /proc/net/snmp: datagrams dropped because a receive buffer was full.
long RcvbufErrors() {
  std::ifstream in("/proc/net/snmp");
  std::string header, values;
  while (std::getline(in, header)) {
    if (header.rfind("Udp:", 0) != 0) continue;
    std::getline(in, values);
    std::istringstream h(header), v(values);
    std::string name, value;
    while (h >> name && v >> value) {
      if (name == "RcvbufErrors") return std::atol(value.c_str());
    }
  }
  return -1;
}

class Timing : public kt::discovery::ScanObserver {
 public:
  explicit Timing(Clock::time_point start) : start_(start) {}
  void OnLineAdded(const std::string&, const kt::discovery::DeviceEntry&) override {
    ++listed;
    last = Clock::now() - start_;
    if (listed == 1) first = last;
    // Listings more than 100 ms apart belong to different passes of the worker.
    if (last - previous > std::chrono::milliseconds(100)) burst_start = last;
    previous = last;
  }
  int listed = 0;
  Clock::duration first{}, last{}, previous{}, burst_start{};

 private:
  Clock::time_point start_;
};

}  // namespace

int main(int argc, char** argv) {
  int terminals = 1000, runs = 5, seconds = 2;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--terminals")) terminals = std::atoi(argv[i + 1]);
    else if (!std::strcmp(argv[i], "--runs")) runs = std::atoi(argv[i + 1]);
    else if (!std::strcmp(argv[i], "--seconds")) seconds = std::atoi(argv[i + 1]);
  }
  kt::sim::UdpTerminalOptions so;
  so.count = terminals;
  so.listen_port = 0;
  auto sim = kt::sim::UdpTerminals::Start(so);
  if (!sim.ok()) {
    std::fprintf(stderr, "discovery_bench: %s\n", sim.status().ToString().c_str());
    return 1;
  }
  std::printf("discovery_bench: %d terminals answering at once on loopback, %d s scans\n", terminals,
              seconds);
  std::vector<double> times, bursts;
  int worst_listed = terminals;
  for (int run = 1; run <= runs; ++run) {
    kt::discovery::DeviceTable table;
    kt::discovery::Scanner scanner(table);
    kt::discovery::ScanOptions o;
    o.bind_address = 0x7F000001;
    o.destination = (*sim)->endpoint();
    o.countdown_seconds = seconds;
    const long dropped_before = RcvbufErrors();
    const Clock::time_point start = Clock::now();
    Timing timing(start);
    const int found = scanner.Run(o, timing);
    const double total = std::chrono::duration<double>(Clock::now() - start).count();
    const double all_ms = std::chrono::duration<double, std::milli>(timing.last).count();
    const double burst_ms = std::chrono::duration<double, std::milli>(timing.last - timing.burst_start).count();
    const long dropped = RcvbufErrors() - dropped_before;
    std::printf("run %d: listed %d of %d (%d lost), last listed after %.1f ms (the worker processes "
                "between 1 s passes), processing the last batch took %.2f ms, kernel drops %ld, scan %.2f s\n",
                run, found, terminals, terminals - found, all_ms, burst_ms, dropped, total);
    times.push_back(all_ms);
    bursts.push_back(burst_ms);
    worst_listed = std::min(worst_listed, found);
  }
  std::sort(times.begin(), times.end());
  std::sort(bursts.begin(), bursts.end());
  std::printf("processing a batch of replies: median %.2f ms, max %.2f ms\n", bursts[bursts.size() / 2],
              bursts.back());
  std::printf("all %d listed in every run: %s; time to list all: min %.1f ms, median %.1f ms, max %.1f ms\n",
              terminals, worst_listed == terminals ? "yes" : "no", times.front(), times[times.size() / 2],
              times.back());
  return worst_listed == terminals ? 0 : 1;
}
