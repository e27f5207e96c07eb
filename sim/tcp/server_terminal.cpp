#include "sim/tcp/server_terminal.h"

#include "common/net/tcp_socket.h"

namespace kt::sim {

using namespace std::chrono_literals;

Result<std::unique_ptr<ServerTerminal>> ServerTerminal::Start(const ServerTerminalOptions& o) {
  std::unique_ptr<ServerTerminal> t(new ServerTerminal(o));
  KT_ASSIGN_OR_RETURN(t->listener_, net::TcpListen(o.listen_ip, o.port, 1));
  KT_ASSIGN_OR_RETURN(t->port_, net::LocalPort(t->listener_));
  t->thread_ = std::thread([p = t.get()] { p->Run(); });
  return t;
}

ServerTerminal::~ServerTerminal() { Stop(); }

void ServerTerminal::Stop() {
  {
    std::scoped_lock lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void ServerTerminal::Log(const std::string& line) const {
  if (options_.log) options_.log(line);
}

void ServerTerminal::Scan(const std::string& code) {
  {
    std::scoped_lock lock(mutex_);
    scans_.push_back(code);
  }
  changed_.notify_all();
}

bool ServerTerminal::connected() const {
  std::scoped_lock lock(mutex_);
  return connected_;
}

std::string ServerTerminal::received() const {
  std::scoped_lock lock(mutex_);
  return received_;
}

std::vector<std::string> ServerTerminal::DisplayRows() const {
  std::scoped_lock lock(mutex_);
  return display_.TrimmedRows();
}

bool ServerTerminal::WaitForReceived(const std::function<bool(const std::string&)>& pred,
                                     std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, limit, [&] { return pred(received_); });
}

void ServerTerminal::Run() {
  for (;;) {
    {
      std::scoped_lock lock(mutex_);
      if (stop_) return;
    }
    Result<net::SocketHandle> conn = net::TcpAccept(listener_, 200ms);
    if (!conn.ok()) continue;  // time-out (or a failed accept): look at stop_ again
    const Result<net::PeerAddress> peer = net::GetPeerAddress(*conn);
    const std::string who = peer.ok() ? peer->ip + ":" + std::to_string(peer->port) : "?";
    Serve(*conn, who);
  }
}

void ServerTerminal::Serve(net::SocketHandle& conn, const std::string& peer) {
  net::SetNoDelay(conn);
  {
    std::scoped_lock lock(mutex_);
    connected_ = true;
  }
  changed_.notify_all();
  Log("kx25sim: TCP terminal: tool connected from " + peer);
  bool undrawn = false;
  auto last_byte = std::chrono::steady_clock::now();
  char buf[1024];
  for (;;) {
    std::string code;
    {
      std::scoped_lock lock(mutex_);
      if (stop_) break;
      if (!scans_.empty()) {
        code = scans_.front();
        scans_.pop_front();
      }
    }
    if (!code.empty()) {
      if (!net::SendAll(conn, code + "\r", 2s).ok()) break;
      Log("kx25sim: TCP terminal: scanned " + code);
    }
    Result<std::size_t> n = net::RecvSome(conn, buf, 50ms);
    if (n.ok()) {
      {
        std::scoped_lock lock(mutex_);
        received_.append(buf, *n);
        display_.Feed(std::string_view(buf, *n));
      }
      changed_.notify_all();
      undrawn = true;
      last_byte = std::chrono::steady_clock::now();
    } else if (!n.status().IsUnavailable()) {
      break;  // the tool closed the connection
    }
    if (undrawn && std::chrono::steady_clock::now() - last_byte >= options_.quiet) {
      std::string picture;
      {
        std::scoped_lock lock(mutex_);
        picture = display_.Render();
      }
      Log("kx25sim: TCP terminal display:\n" + picture);
      undrawn = false;
    }
  }
  {
    std::scoped_lock lock(mutex_);
    connected_ = false;
  }
  changed_.notify_all();
  Log("kx25sim: TCP terminal: tool disconnected");
}

}  // namespace kt::sim
