// The server's start-up core, the one owner of what runs: settings, database (with its periodic
// retry), listener, self-test. The headless loop and the window only drive it and show its state.
//
// How to drive it (the headless loop and the window's timers both do exactly this):
//   ServerCore core(options, sink);        // sink: every connection/scan line and error box
//   if (!core.Start().ok()) -> end;        // settings table unreadable: the program must end
//   every second: core.RetryDatabase();    // opens a database missing at start once it is there
//   every 10 s: core.SERVERCHECK();        // probes again until the self-test has passed
//   core.DatabaseOpen(), core.RETURNTEXTFIREWALL()   // the state to show
//   core.Stop();                           // closes the port and every session, joins threads
//
// Start runs, in order: the open-file limit raised to the hard limit; the random self-test text; the settings table (created with defaults
// when missing) read into GLOBALVARIABLE; the run's overrides of port and data location; port 0
// in the settings becomes 9101; DBMAINOPEN (its failures are error boxes, the server still
// starts and drops terminals until a database is open; RetryDatabase opens it later);
// STARTSERVER (listener + first probe).
//
// Thread safety: Start, RetryDatabase, SERVERCHECK, RETURNTEXTFIREWALL and Stop from one
// controlling thread; the sink is called from the listener and session threads as well.
// STARTSERVER may instead run on a helper thread (the window's probe, which waits for the
// verdict) while the controlling thread reads Port, flags and RETURNTEXTFIREWALL or calls
// RetryDatabase; one call at a time, never during Start or Stop.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "common/event_sink.h"
#include "common/status.h"
#include "server/data/database_retry.h"
#include "server/data/global_variable.h"
#include "server/net/echo_server.h"
#include "server/net/server_flags.h"

namespace kt::app {

struct CoreOptions {
  std::filesystem::path workdir = ".";   // KTVISTRD.DAT lives here
  std::optional<uint16_t> port;          // this run only; 0 picks a free port
  std::optional<std::string> data_location;  // this run only
  std::string bind_ip;                   // empty: every local address
  int max_sessions = 1000;               // live sessions beyond which terminals are refused
  // How long STARTSERVER waits for the listener's verdict on a probe.
  std::chrono::milliseconds verdict_wait{1000};
};

class ServerCore {
 public:
  static constexpr std::chrono::milliseconds kListenerTimeout{10000};

  // `sink` must outlive the core.
  ServerCore(CoreOptions options, EventSink& sink);
  ~ServerCore();

  Status Start();
  // STARTSERVER: creates and starts the listener when needed, then sends one loopback probe.
  void STARTSERVER();
  // The ten-second check: probes again while the self-test has not passed.
  void SERVERCHECK();
  // While the database is not open, opens it again once every DatabaseRetry::kPeriod (a data
  // folder that appears after the start); call it more often than that. True when this call
  // opened it. Its lines go to the sink's connection list.
  bool RetryDatabase();
  bool DatabaseOpen() const { return globals_.IsDatabaseOpen(); }
  // "Port: N telah dipakai oleh aplikasi lain !", the firewall text, or "".
  std::string RETURNTEXTFIREWALL() const;
  void Stop();

  // The port served (the bound one after a start on port 0).
  uint16_t Port() const;
  data::GLOBALVARIABLE& globals() { return globals_; }
  net::ServerFlags& flags() { return flags_; }
  net::KTECHOSERVERTCP* listener() { return listener_.get(); }

 private:
  const CoreOptions options_;
  EventSink& sink_;
  data::GLOBALVARIABLE globals_;
  net::ServerFlags flags_;
  std::optional<data::DatabaseRetry> database_retry_;  // from Start on
  std::unique_ptr<net::KTECHOSERVERTCP> listener_;
};

}  // namespace kt::app
