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
// active flag), a send wait. A session ends when it is retired, when its terminal closes the
// connection, when its socket fails, or on Stop; it then closes its tables, closes its socket
// and logs its terminated/lost line. Finished session threads are joined by the listener.
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

#include "server/net/connection_table.h"
#include "server/net/scan_handler.h"

namespace kt::net {

class LogSink;
struct ServerFlags;

struct ListenerOptions {
  // Port 0 binds any free port (tests); SERVERPORT() then tells which one.
  uint16_t port = 9101;
  // Empty: every local address.
  std::string bind_ip;
  // "UDP" makes a datagram listener, which the server does not serve: the thread ends at once.
  std::string protocol = "TCP";
  // TIMEOUT: how long one accept waits before it is started again.
  std::chrono::milliseconds timeout{1000};
  // How long a session waits for bytes before it re-checks its active flag.
  std::chrono::milliseconds read_wait{200};
  // How long the listener waits for a probe's line.
  std::chrono::milliseconds probe_wait{2000};
  // Pause between two failed attempts to open a session's tables.
  std::chrono::milliseconds reopen_pause{1000};
  // How long a reply may wait for room in the send buffer before the session gives up on it.
  std::chrono::milliseconds send_timeout{5000};
  // Longest accepted line; longer lines are cut.
  std::size_t max_line = 4096;
  // The database-open flag as the data side keeps it (for example
  // `[&globals] { return globals.IsDatabaseOpen(); }`); when empty, ServerFlags::database_open.
  std::function<bool()> database_open;
};

class KTECHOSERVERTCP {
 public:
  // `flags`, `sink` must outlive the object. `test_text` is the self-test text of this run.
  KTECHOSERVERTCP(ListenerOptions options, ServerFlags& flags, LogSink& sink,
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

  int ConnectionCount() const { return table_.size(); }
  int LiveSessions() const { return table_.LiveSessions(); }
  bool IsActive(int connection_number) const { return table_.IsActive(connection_number); }

 private:
  void ListenerThread();
  void HandleProbe(SocketHandle connection);
  void ServeTerminal(SocketHandle connection);
  void SessionThread(ConnectionEntry& entry);
  // Sleeps up to `d` in slices, stopping early when the session should end.
  bool PauseWhileAlive(ConnectionEntry& entry, std::chrono::milliseconds d);

  const ListenerOptions options_;
  ServerFlags& flags_;
  LogSink& sink_;
  const ScanHandlerFactory factory_;
  const std::string test_text_;

  std::atomic<bool> stopping_{false};       // read by every thread without a lock
  std::atomic<bool> listener_running_{false};
  std::atomic<uint16_t> bound_port_{0};

  std::mutex start_mutex_;
  std::condition_variable started_cv_;
  bool started_ = false;  // guarded by start_mutex_: the thread has taken its start block

  std::thread listener_;
  SocketHandle listen_socket_;  // owned by the listener thread while it runs
  ConnectionTable table_;
};

}  // namespace kt::net
