#include "server/net/echo_server.h"

#include <algorithm>
#include <array>
#include <system_error>

#include "common/alt_signal_stack.h"
#include "common/net/line_reader.h"
#include "common/net/tcp_socket.h"
#include "common/platform/threads/thread_name.h"
#include "server/net/code_filter.h"
#include "server/net/server_flags.h"

namespace kt::net {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr int kBacklog = 5;
// Longest single wait of the listener and of a paused session, so Stop is never kept waiting.
constexpr milliseconds kSlice{100};

// Reads one line of a probe: up to CR, LF, the peer's close, `max` bytes or the deadline.
std::string ReadProbeLine(const SocketHandle& s, milliseconds wait, std::size_t max) {
  std::string line;
  std::array<char, 512> buf;
  const auto deadline = Clock::now() + wait;
  while (line.size() < max) {
    auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) break;
    auto n = RecvSome(s, buf, left);
    if (!n.ok()) break;  // timed out, closed or failed: whatever came is the line
    line.append(buf.data(), *n);
    auto end = line.find_first_of("\r\n");
    if (end != std::string::npos) {
      line.resize(end);
      break;
    }
  }
  if (line.size() > max) line.resize(max);
  return line;
}

}  // namespace

KTECHOSERVERTCP::KTECHOSERVERTCP(ListenerOptions options, ServerFlags& flags, EventSink& sink,
                                 ScanHandlerFactory factory, std::string test_text)
    : options_(std::move(options)),
      flags_(flags),
      sink_(sink),
      factory_(std::move(factory)),
      test_text_(std::move(test_text)) {}

KTECHOSERVERTCP::~KTECHOSERVERTCP() { Stop(); }

void KTECHOSERVERTCP::LISTEN() {
  if (listener_running_ || stopping_) return;
  if (listener_.joinable()) listener_.join();  // an earlier thread that failed to bind
  {
    std::scoped_lock lock(start_mutex_);
    started_ = false;
  }
  listener_running_ = true;
  listener_ = std::thread([this] { ListenerThread(); });
  std::unique_lock lock(start_mutex_);
  started_cv_.wait(lock, [this] { return started_; });
}

void KTECHOSERVERTCP::Stop() {
  stopping_ = true;
  if (listener_.joinable()) listener_.join();
  table_.StopAll();
}

void KTECHOSERVERTCP::ListenerThread() {
  AltSignalStack alt_stack;
  platform::SetThreadName("kt-listener");  // shown by top -H, ps -L, debuggers
  auto listening = TcpListen(options_.bind_ip, options_.port, kBacklog);
  const bool serve = listening.ok() && options_.protocol != "UDP";
  if (serve) {
    listen_socket_ = std::move(*listening);
    bound_port_ = LocalPort(listen_socket_).value_or(0);
    // Bound and listening in one step here, so LISTEN's caller may rely on the flag at return.
    flags_.listening = true;
    sink_.ConnectedInfo("Start port listening... ");
  }
  if (!serve) listener_running_ = false;  // port taken, or not a stream listener
  {
    std::scoped_lock lock(start_mutex_);
    started_ = true;
  }
  started_cv_.notify_all();
  if (!serve) return;
  while (!stopping_) {
    table_.JoinFinished();
    auto accepted = TcpAccept(listen_socket_, std::min(options_.timeout, kSlice));
    if (!accepted.ok()) {
      if (!accepted.status().IsUnavailable()) std::this_thread::sleep_for(kSlice);  // keep going
      continue;
    }
    if (!flags_.selftest_passed) {
      HandleProbe(std::move(*accepted));
      continue;
    }
    const bool database_open = !options_.database_open || options_.database_open();
    if (!database_open) {
      // Dropped unanswered (the handle closes it), but never silently: the operator must see
      // that terminals come and are turned away.
      auto peer = GetPeerAddress(*accepted);
      sink_.ConnectedInfo("### Connection from " + (peer.ok() ? peer->ip : std::string("?")) +
                             " turned away: database not open, on: " + TimeOfDayText());
      continue;
    }
    ServeTerminal(std::move(*accepted));
  }
  listen_socket_.Close();
  listener_running_ = false;
}

void KTECHOSERVERTCP::HandleProbe(SocketHandle connection) {
  const std::string line = ReadProbeLine(connection, options_.probe_wait, options_.max_line);
  if (IsBlankLine(line)) return;
  if (line == test_text_) {
    flags_.selftest_passed = true;
    sink_.ConnectedInfo("Firewall testing passed...");
    Status ignored = SendAll(connection, test_text_, options_.send_timeout);
  } else {
    sink_.ConnectedInfo("Error Firewall Testing...");
    Status ignored = SendAll(connection, "Error Firewall", options_.send_timeout);
  }
}

void KTECHOSERVERTCP::ServeTerminal(SocketHandle connection) {
  auto peer = GetPeerAddress(connection);
  if (!peer.ok()) return;
  // A terminal that reconnects frees its old place before the limit is checked.
  table_.RetireAddress(peer->ip);
  if (table_.ActiveSessions() >= options_.max_sessions) {
    NoteRefusal(peer->ip);
    return;  // closed unanswered
  }
  SetNoDelay(connection);
  SetKeepAlive(connection, options_.keepalive_idle, options_.keepalive_interval, options_.keepalive_count);
  const std::string ip = peer->ip;
  ConnectionEntry& entry = table_.Append(std::move(connection), std::move(*peer), factory_);
  sink_.ConnectedInfo("Connection from " + ip + " on: " + TimeOfDayText());
  try {
    entry.thread = std::thread([this, &entry] { SessionThread(entry); });
  } catch (const std::system_error&) {
    // Out of threads: this terminal is not served, the server goes on.
    entry.active = false;
    entry.handler.reset();
    {
      std::scoped_lock lock(entry.socket_mutex);
      entry.socket.Close();
    }
    sink_.ConnectedInfo("### Connection (" + std::to_string(entry.number) + ") " + ip +
                           " terminated/lost on: " + TimeOfDayText());
    table_.Finished(entry);
  }
}

void KTECHOSERVERTCP::NoteRefusal(const std::string& ip) {
  const auto now = Clock::now();
  if (refusal_noted_ && now - last_refusal_note_ < options_.refusal_note_period) {
    ++refusals_unnoted_;
    return;
  }
  std::string line = "### Connection from " + ip + " refused: " + std::to_string(options_.max_sessions) +
                     " sessions live (the limit) on: " + TimeOfDayText();
  if (refusals_unnoted_ > 0) line += " (" + std::to_string(refusals_unnoted_) + " more refused since the last note)";
  sink_.ConnectedInfo(line);
  refusal_noted_ = true;
  last_refusal_note_ = now;
  refusals_unnoted_ = 0;
}

bool KTECHOSERVERTCP::PauseWhileAlive(ConnectionEntry& entry, milliseconds d) {
  const auto until = Clock::now() + d;
  for (;;) {
    if (stopping_ || !entry.active || PeerHasClosed(entry.socket)) return false;
    const auto now = Clock::now();
    if (now >= until) return true;
    std::this_thread::sleep_for(std::min<Clock::duration>(until - now, kSlice));
  }
}

void KTECHOSERVERTCP::SessionThread(ConnectionEntry& entry) {
  AltSignalStack alt_stack;  // a stack overflow here still reaches the crash handler
  platform::SetThreadName("kt-session");
  const std::string n = std::to_string(entry.number);
  const std::string& ip = entry.peer.ip;
  sink_.ConnectedInfo("Connection (" + n + ") accepted from " + ip + " on: " + TimeOfDayText());
  ScanHandler& handler = *entry.handler;

  // The greeting goes out before any table is opened.
  bool alive = SendAll(entry.socket, handler.Greeting(), options_.send_timeout).ok();
  while (alive && !handler.OpenTables()) alive = PauseWhileAlive(entry, options_.reopen_pause);

  LineReader reader(options_.max_line);
  std::array<char, 4096> buf;
  while (alive && entry.active && !stopping_) {
    std::optional<std::string> line = reader.Next();
    if (!line) {
      auto got = RecvSome(entry.socket, buf, options_.read_wait);
      if (got.ok()) {
        reader.Feed(std::string_view(buf.data(), *got));
      } else if (!got.status().IsUnavailable()) {
        alive = false;  // closed by the terminal (a half line is dropped with it) or failed
      }
      continue;
    }
    if (IsBlankLine(*line)) continue;
    sink_.ScanInfo(ip + " Received Data: " + *line);
    const std::string code = FilterCode(*line);
    const std::string reply = code.empty() ? std::string("###") : handler.Answer(code);
    if (!SendAll(entry.socket, reply, options_.send_timeout).ok()) alive = false;
  }

  handler.CloseTables();
  entry.handler.reset();
  {
    std::scoped_lock lock(entry.socket_mutex);
    entry.socket.Close();
  }
  sink_.ConnectedInfo("### Connection (" + n + ") " + ip + " terminated/lost on: " + TimeOfDayText());
  table_.Finished(entry);  // last: the listener may remove the entry from here on
}

}  // namespace kt::net
