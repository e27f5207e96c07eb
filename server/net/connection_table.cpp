#include "server/net/connection_table.h"

#include <vector>

namespace kt::net {

ConnectionEntry& ConnectionTable::Append(SocketHandle socket, PeerAddress peer,
                                         const ScanHandlerFactory& factory) {
  std::scoped_lock lock(mutex_);
  const int n = static_cast<int>(entries_.size()) + 1;
  auto entry = std::make_unique<ConnectionEntry>(n, std::move(socket), std::move(peer));
  entry->handler = factory(n);
  entries_.push_back(std::move(entry));
  return *entries_.back();
}

void ConnectionTable::RetireAddress(const std::string& ip) {
  std::scoped_lock lock(mutex_);
  for (auto& e : entries_)
    if (e->peer.ip == ip) e->active = false;
}

void ConnectionTable::JoinFinished() {
  std::vector<ConnectionEntry*> done;
  {
    std::scoped_lock lock(mutex_);
    for (auto& e : entries_)
      if (e->finished && e->thread.joinable()) done.push_back(e.get());
  }
  for (auto* e : done) e->thread.join();  // returns at once: the session has ended
}

void ConnectionTable::StopAll() {
  std::vector<ConnectionEntry*> all;
  {
    std::scoped_lock lock(mutex_);
    for (auto& e : entries_) {
      e->active = false;
      std::scoped_lock socket_lock(e->socket_mutex);
      e->socket.Shutdown();
      all.push_back(e.get());
    }
  }
  for (auto* e : all)
    if (e->thread.joinable()) e->thread.join();
}

int ConnectionTable::size() const {
  std::scoped_lock lock(mutex_);
  return static_cast<int>(entries_.size());
}

int ConnectionTable::LiveSessions() const {
  std::scoped_lock lock(mutex_);
  int live = 0;
  for (auto& e : entries_) live += e->finished ? 0 : 1;
  return live;
}

bool ConnectionTable::IsActive(int n) const {
  std::scoped_lock lock(mutex_);
  if (n < 1 || n > static_cast<int>(entries_.size())) return false;
  return entries_[n - 1]->active;
}

}  // namespace kt::net
