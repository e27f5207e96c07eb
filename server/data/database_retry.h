// Opening the database again while it is not open: a data folder on a network share that
// mounts late at boot, or a folder the back office is restoring. The failure of the first open
// has been reported by DBMAINOPEN (an error box); a retry reports its failure only when the
// text differs from the one before, as a line of the connection list, and reports success.
//
// Owned by the start-up core (server/app/server_core.h), whose RetryDatabase ticks it.
//
// Thread safety: one controlling thread calls Tick (the core's controlling thread).
#pragma once

#include <chrono>
#include <string>

#include "common/event_sink.h"
#include "server/data/global_variable.h"

namespace kt::data {

class DatabaseRetry {
 public:
  static constexpr std::chrono::seconds kPeriod{5};

  // `globals` and `sink` must outlive the object.
  DatabaseRetry(GLOBALVARIABLE& globals, EventSink& sink);

  // While the database is not open, runs DBMAINOPEN once every kPeriod (the first time a period
  // after construction). Returns true when this call opened it.
  bool Tick(std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now());

 private:
  GLOBALVARIABLE& globals_;
  EventSink& sink_;
  std::chrono::steady_clock::time_point next_;
  std::string last_failure_;
};

// The line that says the database is not open and what the server does about it ("" when open).
std::string DatabaseNotOpenStatus(const GLOBALVARIABLE& globals);

}  // namespace kt::data
