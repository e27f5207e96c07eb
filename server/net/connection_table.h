// The server-wide table of accepted terminals.
//
// An entry's 1-based position is its connection number; entries are appended and never removed,
// so numbers run 1, 2, 3 ... for the life of the listener. Entries live in unique_ptrs inside a
// deque, so a session keeps a stable pointer to its own entry while the listener appends others.
//
// Thread safety: the table's shape is protected by `mutex_`. Inside an entry, `active` and
// `finished` are atomics (read without a lock by the session and the listener); the socket is
// read and written only by the entry's session, and `socket_mutex` orders its final Close()
// against a Shutdown() from Stop; `handler` is used only by the session; `thread` only by the
// listener thread and, after that thread has ended, by Stop.
#pragma once

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "common/net/socket_handle.h"
#include "common/net/tcp_socket.h"
#include "server/net/scan_handler.h"

namespace kt::net {

struct ConnectionEntry {
  ConnectionEntry(int n, SocketHandle s, PeerAddress p) : number(n), peer(std::move(p)), socket(std::move(s)) {}

  const int number;
  const PeerAddress peer;
  std::atomic<bool> active{true};     // cleared by the listener to retire the session
  std::atomic<bool> finished{false};  // set by the session as its last act

  std::mutex socket_mutex;
  SocketHandle socket;  // emptied by the session when it ends
  std::unique_ptr<ScanHandler> handler;
  std::thread thread;
};

class ConnectionTable {
 public:
  // Appends an entry for `socket` from `peer` and makes its handler with `factory`.
  // Returns the new entry (its number is the table length after the append).
  ConnectionEntry& Append(SocketHandle socket, PeerAddress peer, const ScanHandlerFactory& factory);

  // Clears the active flag of every entry from `ip` (a terminal that reconnected).
  void RetireAddress(const std::string& ip);

  // Joins the threads of sessions that have ended, releasing their resources.
  void JoinFinished();
  // Wakes every session (retires it and shuts its socket down) and joins all threads.
  void StopAll();

  int size() const;
  int LiveSessions() const;
  // Active flag of connection `n`; false for a number not in the table.
  bool IsActive(int n) const;

 private:
  mutable std::mutex mutex_;
  // State below is protected by `mutex_`.
  std::deque<std::unique_ptr<ConnectionEntry>> entries_;
};

}  // namespace kt::net
