#include "tool/terminal/reachability_monitor.h"

#include <optional>

#include "tool/firmware/icmp_echo.h"

namespace kt::terminal {

EchoCheckFactory IcmpEchoCheckFactory() {
  return [](uint32_t ip, std::string& detail) -> EchoCheck {
    Result<firmware::IcmpEcho> echo = firmware::IcmpEcho::Open();
    if (!echo.ok()) {
      detail = echo.status().message();
      return {};
    }
    auto shared = std::make_shared<firmware::IcmpEcho>(std::move(*echo));
    return [shared, ip](std::string& why) {
      firmware::EchoOptions o;  // TTL 10, 500 ms, 32 bytes, TOS 0, fragmenting allowed
      Result<firmware::EchoReply> r = shared->Check(ip, o);
      if (r.ok()) return EchoVerdict::kAnswered;
      if (r.status().IsIOError()) {  // the request could not even be sent from here
        why = r.status().message();
        return EchoVerdict::kCannotCheck;
      }
      return EchoVerdict::kNoAnswer;
    };
  };
}

ReachabilityMonitor::ReachabilityMonitor(uint32_t ip, const EchoCheckFactory& factory, Callbacks callbacks,
                                         MonitorTiming timing)
    : callbacks_(std::move(callbacks)), timing_(timing) {
  std::string detail;
  EchoCheck check = factory ? factory(ip, detail) : EchoCheck{};
  if (!check) {
    if (callbacks_.notice) callbacks_.notice("reachability check off: " + (detail.empty() ? "no echo check" : detail));
    return;
  }
  thread_ = std::thread([this, check = std::move(check)] { Run(check); });
}

ReachabilityMonitor::~ReachabilityMonitor() { Stop(); }

void ReachabilityMonitor::Stop() {
  {
    std::scoped_lock lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void ReachabilityMonitor::Run(EchoCheck check) {
  int failures = 0;
  for (;;) {
    {
      std::scoped_lock lock(mutex_);
      if (stop_) return;
    }
    std::string detail;
    const EchoVerdict v = check(detail);
    if (v == EchoVerdict::kCannotCheck) {
      if (callbacks_.notice) callbacks_.notice("reachability check off: " + detail);
      return;
    }
    std::unique_lock lock(mutex_);
    if (stop_) return;
    if (v == EchoVerdict::kAnswered) {
      failures = 0;
      wake_.wait_for(lock, timing_.after_answer, [&] { return stop_; });
      continue;
    }
    if (++failures >= timing_.failures_to_give_up) {
      lock.unlock();
      if (callbacks_.unreachable) callbacks_.unreachable();
      return;
    }
  }
}

}  // namespace kt::terminal
