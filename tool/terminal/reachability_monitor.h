// Watches a connected terminal with echo requests: one check, then 1000 ms after an answer the
// next, at once after a failure; the 7th failure in a row reports the terminal unreachable and
// ends the watch.
//
// When this PC may not send echo requests at all (no ICMP socket for this user, or sending is
// refused), the monitor reports that once and stops: a terminal is never given up because the
// PC may not ping.
//
// Thread safety: the monitor runs a thread of its own; callbacks come from it. Stop() (and the
// destructor) may be called from any thread except from inside a callback.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace kt::terminal {

enum class EchoVerdict { kAnswered, kNoAnswer, kCannotCheck };

// One echo check; `detail` says why on kCannotCheck.
using EchoCheck = std::function<EchoVerdict(std::string& detail)>;
// Makes the check for one terminal; returns an empty function (and sets `detail`) when this PC
// may not send echo requests.
using EchoCheckFactory = std::function<EchoCheck(uint32_t ip, std::string& detail)>;

// The real check: ICMP echo with time-to-live 10, 500 ms, 32 bytes, TOS 0, fragmenting allowed.
EchoCheckFactory IcmpEchoCheckFactory();

struct MonitorTiming {
  std::chrono::milliseconds after_answer{1000};
  int failures_to_give_up = 7;
};

class ReachabilityMonitor {
 public:
  struct Callbacks {
    std::function<void()> unreachable;                 // 7 failures in a row
    std::function<void(const std::string&)> notice;    // once: the monitor is off, and why
  };

  ReachabilityMonitor(uint32_t ip, const EchoCheckFactory& factory, Callbacks callbacks,
                      MonitorTiming timing = {});
  ~ReachabilityMonitor();
  ReachabilityMonitor(const ReachabilityMonitor&) = delete;
  ReachabilityMonitor& operator=(const ReachabilityMonitor&) = delete;

  void Stop();

 private:
  void Run(EchoCheck check);

  const Callbacks callbacks_;
  const MonitorTiming timing_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;  // protected by mutex_
  std::thread thread_;
};

}  // namespace kt::terminal
