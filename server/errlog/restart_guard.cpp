#include "server/errlog/restart_guard.h"

#include <climits>
#include <cstdlib>

#include "common/text/text.h"

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
  // A value that is not a count (garbled, negative, too large) starts a new chain.
  return static_cast<int>(text::ParseInteger(text, 0, INT_MAX).value_or(0));
}

}  // namespace kt::errlog
