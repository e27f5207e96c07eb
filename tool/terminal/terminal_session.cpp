#include "tool/terminal/terminal_session.h"

#include <array>
#include <utility>

#include "common/net/tcp_socket.h"
#include "common/net/udp_socket.h"

namespace kt::terminal {

TerminalSession::TerminalSession(TerminalTarget target, SessionObserver& observer, SessionOptions options)
    : observer_(observer), options_(std::move(options)), target_(target), keys_(target.codepage_index) {}

TerminalSession::~TerminalSession() {
  Disconnect();
  JoinThread();
}

void TerminalSession::JoinThread() {
  std::thread t;
  {
    std::scoped_lock lock(mutex_);
    t = std::move(thread_);
  }
  if (t.joinable()) {
    if (t.get_id() == std::this_thread::get_id()) t.detach();  // called from an observer: it ends by itself
    else t.join();
  }
}

void TerminalSession::WaitUntilDisconnected() { JoinThread(); }

void TerminalSession::Connect() {
  TerminalTarget t;
  {
    std::scoped_lock lock(mutex_);
    t = target_;
  }
  Connect(t);
}

void TerminalSession::Connect(const TerminalTarget& target) {
  if (active_.exchange(true)) return;
  JoinThread();  // the previous connection's thread has finished its work
  std::scoped_lock lock(mutex_);
  target_ = target;
  keys_ = KeyInput(target.codepage_index);
  stop_ = false;
  close_requested_ = false;
  thread_ = std::thread([this, target] { Run(target); });
}

void TerminalSession::Disconnect() {
  stop_ = true;
  ShutdownSocket();
}

void TerminalSession::ShutdownSocket() {
  std::scoped_lock lock(mutex_);
  socket_.Shutdown();
}

void TerminalSession::Emit(LogKind kind, std::string text) {
  if (text.empty()) return;
  std::scoped_lock lock(emit_mutex_);
  observer_.OnLog({kind, std::move(text)});
}

void TerminalSession::EmitSent(std::string_view bytes) {
  std::scoped_lock lock(emit_mutex_);
  observer_.OnSent(bytes);
}

bool TerminalSession::SendPrepared(const std::string& stream) {
  for (int attempt = 0; attempt < options_.send_attempts; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(options_.retry_pause);  // give the peer time to drain
    Status st;
    {
      std::scoped_lock lock(mutex_);
      st = socket_.valid() ? net::SendAll(socket_, stream, options_.send_wait) : Status::IOError("not connected");
    }
    if (st.ok()) {
      Emit(LogKind::kSent, EchoSentStream(stream));
      EmitSent(stream);
      return true;
    }
    if (stop_) break;
  }
  return false;
}

void TerminalSession::SendTyped(const KeyOutcome& k) {
  if (k.bytes.empty() || !connected_) return;
  Status st;
  {
    std::scoped_lock lock(mutex_);
    st = socket_.valid() ? net::SendAll(socket_, k.bytes, options_.send_wait) : Status::IOError("not connected");
  }
  if (!st.ok()) {
    Disconnect();
    return;
  }
  Emit(LogKind::kTyped, k.echo);
  EmitSent(k.bytes);
}

void TerminalSession::TypeKey(char32_t c) {
  if (!connected_) return;
  KeyOutcome k;
  {
    std::scoped_lock lock(mutex_);
    k = keys_.Key(c, hex_);
  }
  SendTyped(k);
}

void TerminalSession::TypeEscape() {
  if (!connected_) return;
  KeyOutcome k;
  {
    std::scoped_lock lock(mutex_);
    k = keys_.Escape();
  }
  SendTyped(k);
}

void TerminalSession::Paste(std::string_view utf8) {
  if (!connected_) return;
  KeyOutcome k;
  {
    std::scoped_lock lock(mutex_);
    k = keys_.Paste(utf8);
  }
  SendTyped(k);
}

void TerminalSession::Run(TerminalTarget target) {
  const std::string where = target.ip + ":" + std::to_string(target.port);
  Result<net::SocketHandle> s = net::TcpConnect(target.ip, target.port, options_.connect_limit);
  if (!s.ok() || stop_) {
    if (!s.ok()) {
      Emit(LogKind::kNotice, s.status().IsUnavailable()
                                 ? "no answer from " + where + " within " +
                                       std::to_string(options_.connect_limit.count()) + " ms"
                                 : "cannot connect to " + where + ": " + s.status().message());
    }
    Emit(LogKind::kNotice, kConnectionTerminated);
    active_ = false;
    std::scoped_lock lock(emit_mutex_);
    observer_.OnDisconnected();
    return;
  }
  net::SetNoDelay(*s);
  {
    std::scoped_lock lock(mutex_);
    socket_ = std::move(*s);
  }
  connected_ = true;
  {
    std::scoped_lock lock(emit_mutex_);
    observer_.OnConnected();
  }

  DemoScreenChooser chooser = options_.random ? DemoScreenChooser(options_.random) : DemoScreenChooser();
  ReceiveHandler handler;
  bool failed = !SendPrepared(Greeting());
  std::unique_ptr<ReachabilityMonitor> monitor;
  const std::optional<uint32_t> ip = net::ParseIpv4(target.ip);
  if (!failed && options_.echo_checks && ip) {
    ReachabilityMonitor::Callbacks cb;
    cb.unreachable = [this] {
      Emit(LogKind::kNotice, "the terminal does not answer echo requests");
      close_requested_ = true;
      Disconnect();
    };
    cb.notice = [this](const std::string& text) { Emit(LogKind::kNotice, text); };
    monitor = std::make_unique<ReachabilityMonitor>(*ip, options_.echo_checks, std::move(cb),
                                                    options_.monitor_timing);
  }

  std::array<char, 1024> buf;
  while (!failed && !stop_) {
    Result<std::size_t> n = net::RecvSome(socket_, buf, std::chrono::milliseconds(200));
    if (!n.ok()) {
      if (n.status().IsUnavailable()) continue;
      break;  // closed by the peer, reset, or shut down by Disconnect()
    }
    const ReceiveHandler::Output out = handler.Feed(std::string_view(buf.data(), *n), respond_);
    Emit(LogKind::kReceived, out.shown);
    for (int i = 0; i < out.screens_due && !failed; ++i) {
      failed = !SendPrepared(DemoScreen(chooser.Next(), target.codepage_index));
    }
  }

  monitor.reset();
  {
    std::scoped_lock lock(mutex_);
    socket_.Close();
  }
  connected_ = false;
  Emit(LogKind::kNotice, kConnectionTerminated);
  active_ = false;
  std::scoped_lock lock(emit_mutex_);
  observer_.OnDisconnected();
  if (close_requested_) observer_.OnCloseRequested();
}

}  // namespace kt::terminal
