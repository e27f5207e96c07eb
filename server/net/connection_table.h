// The server-wide table of accepted terminals.
//
// Every accepted terminal gets the next connection number (1, 2, 3 ... for the life of the
// listener) and an entry that lives while its session does: once the session has ended, the
// listener joins its thread and removes the entry, so the table holds the live sessions only and
// every operation is O(live sessions), however many terminals came and went. Entries live in
// unique_ptrs, so a session keeps a stable pointer to its own entry while others come and go.
//
// Thread safety: the table's shape is protected by `mutex_`. Inside an entry, `active` and
// `finished` are atomics (read without a lock by the session and the listener); the socket is
// read and written only by the entry's session, and `socket_mutex` orders its final Close()
// against a Shutdown() from the listener (retire, Stop); `handler` is used only by the session;
// `thread` only by the listener thread and, after that thread has ended, by Stop.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "common/net/socket_handle.h"
#include "common/net/tcp_socket.h"
#include "server/net/scan_handler.h"

namespace kt::net {

class ConnectionTable;

struct ConnectionEntry {
  ConnectionEntry(int n, SocketHandle s, PeerAddress p) : number(n), peer(std::move(p)), socket(std::move(s)) {}

  const int number;
  const PeerAddress peer;
  std::atomic<bool> active{true};     // cleared by the listener to retire the session
  std::atomic<bool> finished{false};  // set through ConnectionTable::Finished, the session's last act

  std::mutex socket_mutex;
  SocketHandle socket;  // emptied by the session when it ends
  std::unique_ptr<ScanHandler> handler;
  std::thread thread;
};

class ConnectionTable {
 public:
  // Adds an entry for `socket` from `peer` with the next connection number and makes its
  // handler with `factory`. Returns the new entry.
  ConnectionEntry& Append(SocketHandle socket, PeerAddress peer, const ScanHandlerFactory& factory);

  // Retires every session from `ip` (a terminal that reconnected): clears its active flag and
  // shuts its socket down, so a session waiting for its terminal ends at once.
  void RetireAddress(const std::string& ip);

  // Marks `entry` finished (its session's last act; the entry may be removed right after).
  void Finished(ConnectionEntry& entry);
  // Joins the threads of sessions that have ended and removes their entries.
  void JoinFinished();
  // Wakes every session (retires it and shuts its socket down), joins all threads, empties the table.
  void StopAll();

  // Connection numbers handed out so far (the number of the newest connection).
  int size() const;
  // Entries held (live sessions, and ended ones not yet removed).
  int Entries() const;
  int LiveSessions() const;
  // Live sessions that are not retired (the ones that count against the limit).
  int ActiveSessions() const;
  // Active flag of connection `n`; false for a number whose session has ended.
  bool IsActive(int n) const;

 private:
  mutable std::mutex mutex_;
  // State below is protected by `mutex_`.
  std::map<int, std::unique_ptr<ConnectionEntry>> entries_;
  int last_number_ = 0;
  int finished_ = 0;  // entries marked finished and not yet removed
};

}  // namespace kt::net
