// KTECHOSERVERTCP: the price-check server's TCP listener and its terminal sessions.
//
// LISTEN starts one listener thread that binds the port, listens (backlog 5) and accepts
// terminals. Until the loopback self-test has passed every accepted connection is treated as the
// probe: its first line is compared with the test text, answered, and the connection closed.
// Afterwards each terminal gets a connection entry (older entries from the same address are
// retired) and a session thread of its own, which sends the greeting, opens its tables (retrying,
// paced) and answers every non-blank line with exactly one reply, in order.
//
// Every wait is bounded: the accept wait, a session's read wait (after which it re-checks its
// active flag), a send wait. A session waiting for its terminal costs nothing: retiring it and
// Stop shut its socket down, which ends the wait at once, so the read wait can be long. TCP
// keepalive ends the session of a terminal that vanished without closing. A session ends when it
// is retired, when its terminal closes the connection, when its socket fails (keepalive
// included), or on Stop; it then closes its tables, closes its socket and logs its
// terminated/lost line. The listener joins finished session threads and drops their entries.
//
// Above `max_sessions` live sessions a new terminal is refused (closed unanswered), with one
// log line per `refusal_note_period` that counts the refusals.
//
// Thread safety: LISTEN, Stop and the accessors may be called from any one controlling thread
// (the window thread or the headless main loop). Stop closes the listening socket and every
// session socket and joins all threads; the destructor calls it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "common/event_sink.h"
#include "common/net/server_port.h"
#include "server/net/connection_table.h"
#include "server/net/scan_handler.h"

namespace kt::net {

struct ServerFlags;

struct ListenerOptions {
  // Port 0 binds any free port (tests); SERVERPORT() then tells which one.
  uint16_t port = kDefaultServerPort;
  // Empty: every local address.
  std::string bind_ip;
  // "UDP" makes a datagram listener, which the server does not serve: the thread ends at once.
  std::string protocol = "TCP";
  // TIMEOUT: how long one accept waits before it is started again.
  std::chrono::milliseconds timeout{1000};
  // How long a session waits for bytes before it re-checks its active flag (retiring and Stop
  // wake it at once; this only bounds the wait).
  std::chrono::milliseconds read_wait{60000};
  // TCP keepalive of a session's connection: idle time, probe interval, probes before it fails.
  std::chrono::seconds keepalive_idle{60};
  std::chrono::seconds keepalive_interval{10};
  int keepalive_count = 3;
  // Live sessions beyond which a new terminal is refused, and how often a refusal is logged.
  int max_sessions = 1000;
  std::chrono::milliseconds refusal_note_period{60000};
  // How long the listener waits for a probe's line.
  std::chrono::milliseconds probe_wait{2000};
  // Pause between two failed attempts to open a session's tables.
  std::chrono::milliseconds reopen_pause{1000};
  // How long a reply may wait for room in the send buffer before the session gives up on it.
  std::chrono::milliseconds send_timeout{5000};
  // Longest accepted line; longer lines are cut.
  std::size_t max_line = 4096;
  // The database-open flag as the data side keeps it (for example
  // `[&globals] { return globals.IsDatabaseOpen(); }`); empty: there is no database to wait for.
  std::function<bool()> database_open;
};

class KTECHOSERVERTCP {
 public:
  // `flags`, `sink` must outlive the object. `test_text` is the self-test text of this run.
  KTECHOSERVERTCP(ListenerOptions options, ServerFlags& flags, EventSink& sink,
                  ScanHandlerFactory factory, std::string test_text);
  ~KTECHOSERVERTCP();

  KTECHOSERVERTCP(const KTECHOSERVERTCP&) = delete;
  KTECHOSERVERTCP& operator=(const KTECHOSERVERTCP&) = delete;

  // Starts the listener thread unless it runs already; returns once the thread has tried to
  // bind (flags.listening tells whether it listens).
  void LISTEN();
  // Ends the listener and every session and joins their threads. Idempotent.
  void Stop();

  // The port actually bound (0 before a successful bind).
  uint16_t SERVERPORT() const { return bound_port_; }
  // True while the listener thread runs (false after a failed bind).
  bool ListenerRunning() const { return listener_running_; }

  // Connection numbers handed out so far; entries the table still holds.
  int ConnectionCount() const { return table_.size(); }
  int ConnectionEntries() const { return table_.Entries(); }
  int LiveSessions() const { return table_.LiveSessions(); }
  bool IsActive(int connection_number) const { return table_.IsActive(connection_number); }

 private:
  void ListenerThread();
  void HandleProbe(SocketHandle connection);
  void ServeTerminal(SocketHandle connection);
  // Logs a refused terminal, at most once per refusal_note_period (listener thread only).
  void NoteRefusal(const std::string& ip);
  void SessionThread(ConnectionEntry& entry);
  // Sleeps up to `d` in slices, stopping early when the session should end.
  bool PauseWhileAlive(ConnectionEntry& entry, std::chrono::milliseconds d);

  const ListenerOptions options_;
  ServerFlags& flags_;
  EventSink& sink_;
  const ScanHandlerFactory factory_;
  const std::string test_text_;

  std::atomic<bool> stopping_{false};       // read by every thread without a lock
  std::atomic<bool> listener_running_{false};
  std::atomic<uint16_t> bound_port_{0};

  std::mutex start_mutex_;
  std::condition_variable started_cv_;
  bool started_ = false;  // guarded by start_mutex_: the thread has taken its start block

  // Refusals above max_sessions; used by the listener thread only.
  std::chrono::steady_clock::time_point last_refusal_note_{};
  bool refusal_noted_ = false;
  int refusals_unnoted_ = 0;

  std::thread listener_;
  SocketHandle listen_socket_;  // owned by the listener thread while it runs
  ConnectionTable table_;
};

}  // namespace kt::net
