// The three self-test flags shared by the window (or headless loop), the listener and the
// sessions. Each is written from false to true by one owner and read everywhere, hence atomics.
// Whether the database is open is the data side's one flag (GLOBALVARIABLE::IsDatabaseOpen),
// which the listener asks through ListenerOptions::database_open.
#pragma once

#include <atomic>

namespace kt::net {

struct ServerFlags {
  std::atomic<bool> listening{false};        // set by the listener thread once it listens
  std::atomic<bool> probe_sent{false};       // set by the self-test client after a send
  std::atomic<bool> selftest_passed{false};  // set by the listener when the probe text came back
};

}  // namespace kt::net
