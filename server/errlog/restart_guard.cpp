#include "server/errlog/restart_guard.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

namespace kt::errlog {

RestartDecision DecideRestart(int chain, std::chrono::steady_clock::duration uptime,
                              std::chrono::seconds quick_failure, int max_quick_restarts) {
  RestartDecision d;
  d.next_chain = uptime < quick_failure ? chain + 1 : 0;
  d.restart = d.next_chain <= max_quick_restarts;
  return d;
}

std::optional<int> RestartChainFromEnvironment() {
  const char* text = std::getenv(kRestartChainVariable);
  if (text == nullptr) return std::nullopt;
  int value = 0;
  const char* end = text + std::strlen(text);
  auto [ptr, ec] = std::from_chars(text, end, value);
  if (ec != std::errc() || ptr != end || value < 0) return 0;
  return value;
}

}  // namespace kt::errlog
