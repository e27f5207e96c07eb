// Restart-storm guard: decides whether a failing instance starts a successor.
//
// Each restarted instance is told, through the environment variable KT_RESTART_CHAIN, how many
// instances before it in a row failed soon after starting. An instance that fails within
// kQuickFailure of its start adds one; one that ran longer starts the count again at 0. Once
// the count would exceed kMaxQuickRestarts the failing instance does not restart: a server
// whose data or settings make it fail at once stops after a few reports instead of filling the
// log and the process table for ever.
#pragma once

#include <chrono>
#include <optional>

namespace kt::errlog {

inline constexpr const char* kRestartChainVariable = "KT_RESTART_CHAIN";
inline constexpr std::chrono::seconds kQuickFailure{30};
inline constexpr int kMaxQuickRestarts = 3;

struct RestartDecision {
  bool restart = false;
  int next_chain = 0;  // the value handed to the successor
};

// `chain`: this instance's own count (0 for an instance not started by a restart).
RestartDecision DecideRestart(int chain, std::chrono::steady_clock::duration uptime,
                              std::chrono::seconds quick_failure = kQuickFailure,
                              int max_quick_restarts = kMaxQuickRestarts);

// This instance's count from the environment; nullopt when it was not started by a restart.
// Malformed or negative values read as 0.
std::optional<int> RestartChainFromEnvironment();

}  // namespace kt::errlog
