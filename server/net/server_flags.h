// The four server-wide flags shared by the window (or headless loop), the listener and the
// sessions. Each is written from false to true by one owner and read everywhere, hence atomics.
#pragma once

#include <atomic>

namespace kt::net {

struct ServerFlags {
  std::atomic<bool> listening{false};        // set by the listener thread once it listens
  std::atomic<bool> probe_sent{false};       // set by the self-test client after a send
  std::atomic<bool> selftest_passed{false};  // set by the listener when the probe text came back
  std::atomic<bool> database_open{false};    // set by the data side when the main tables opened
};

}  // namespace kt::net
