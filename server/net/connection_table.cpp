#include "server/net/connection_table.h"

#include <vector>

namespace kt::net {

ConnectionEntry& ConnectionTable::Append(SocketHandle socket, PeerAddress peer,
                                         const ScanHandlerFactory& factory) {
  std::scoped_lock lock(mutex_);
  const int n = ++last_number_;
  auto entry = std::make_unique<ConnectionEntry>(n, std::move(socket), std::move(peer));
  entry->handler = factory(n);
  ConnectionEntry& added = *entry;
  entries_.emplace_hint(entries_.end(), n, std::move(entry));
  return added;
}

void ConnectionTable::RetireAddress(const std::string& ip) {
  std::scoped_lock lock(mutex_);
  for (auto& [n, e] : entries_) {
    if (e->peer.ip != ip || !e->active) continue;
    e->active = false;
    std::scoped_lock socket_lock(e->socket_mutex);
    e->socket.Shutdown();
  }
}

void ConnectionTable::Finished(ConnectionEntry& entry) {
  std::scoped_lock lock(mutex_);
  entry.finished = true;
  ++finished_;
}

void ConnectionTable::JoinFinished() {
  std::vector<std::unique_ptr<ConnectionEntry>> done;
  {
    std::scoped_lock lock(mutex_);
    if (finished_ == 0) return;
    for (auto it = entries_.begin(); it != entries_.end();) {
      if (it->second->finished) {
        done.push_back(std::move(it->second));
        it = entries_.erase(it);
      } else {
        ++it;
      }
    }
    finished_ = 0;
  }
  for (auto& e : done)
    if (e->thread.joinable()) e->thread.join();  // returns at once: the session has ended
}

void ConnectionTable::StopAll() {
  std::vector<ConnectionEntry*> all;
  {
    std::scoped_lock lock(mutex_);
    for (auto& [n, e] : entries_) {
      e->active = false;
      std::scoped_lock socket_lock(e->socket_mutex);
      e->socket.Shutdown();
      all.push_back(e.get());
    }
  }
  for (auto* e : all)
    if (e->thread.joinable()) e->thread.join();
  std::scoped_lock lock(mutex_);
  entries_.clear();
  finished_ = 0;
}

int ConnectionTable::size() const {
  std::scoped_lock lock(mutex_);
  return last_number_;
}

int ConnectionTable::Entries() const {
  std::scoped_lock lock(mutex_);
  return static_cast<int>(entries_.size());
}

int ConnectionTable::LiveSessions() const {
  std::scoped_lock lock(mutex_);
  return static_cast<int>(entries_.size()) - finished_;
}

int ConnectionTable::ActiveSessions() const {
  std::scoped_lock lock(mutex_);
  int n = 0;
  for (auto& [number, e] : entries_) n += (e->active && !e->finished) ? 1 : 0;
  return n;
}

bool ConnectionTable::IsActive(int n) const {
  std::scoped_lock lock(mutex_);
  auto it = entries_.find(n);
  return it != entries_.end() && it->second->active;
}

}  // namespace kt::net
