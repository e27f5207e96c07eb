// The terminal session against a real TCP peer on loopback playing the KX25.
#include "tool/terminal/terminal_session.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/net/tcp_socket.h"

namespace kt::terminal {
namespace {

using namespace std::chrono_literals;

class Recorder : public SessionObserver {
 public:
  void OnLog(const LogPiece& p) override {
    std::scoped_lock lock(mutex_);
    log_.push_back(p);
    changed_.notify_all();
  }
  void OnConnected() override { Note(connected_); }
  void OnDisconnected() override { Note(disconnected_); }
  void OnCloseRequested() override { Note(close_requested_); }

  // Waits (bounded) until `pred` holds under the lock.
  template <typename Pred>
  bool WaitFor(Pred pred, std::chrono::milliseconds limit = 10s) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return pred(); });
  }
  bool WaitConnected() { return WaitFor([&] { return connected_ > 0; }); }
  bool WaitDisconnected() { return WaitFor([&] { return disconnected_ > 0; }); }
  std::string Text(LogKind kind) {
    std::scoped_lock lock(mutex_);
    std::string s;
    for (const auto& p : log_) {
      if (p.kind == kind) s += p.text + "|";
    }
    return s;
  }
  int close_requested() {
    std::scoped_lock lock(mutex_);
    return close_requested_;
  }

 private:
  void Note(int& counter) {
    std::scoped_lock lock(mutex_);
    ++counter;
    changed_.notify_all();
  }
  // Recursive so that WaitFor's predicate may use the accessors below.
  std::recursive_mutex mutex_;
  std::condition_variable_any changed_;
  std::vector<LogPiece> log_;
  int connected_ = 0, disconnected_ = 0, close_requested_ = 0;
};

// A listening socket on loopback standing in for the terminal.
class FakeTerminal {
 public:
  FakeTerminal() {
    listener_ = net::TcpListen("127.0.0.1", 0, 4).value();
    port_ = *net::LocalPort(listener_);
  }
  uint16_t port() const { return port_; }
  bool Accept() {
    auto c = net::TcpAccept(listener_, 10s);
    if (!c.ok()) return false;
    conn_ = std::move(*c);
    return true;
  }
  // Reads until `n` bytes have come (bounded).
  std::string Read(std::size_t n) {
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (pending_.size() < n && std::chrono::steady_clock::now() < until) {
      char buf[2048];
      auto got = net::RecvSome(conn_, buf, 200ms);
      if (got.ok()) pending_.append(buf, *got);
      else if (!got.status().IsUnavailable()) break;
    }
    std::string out = pending_.substr(0, n);
    pending_.erase(0, out.size());
    return out;
  }
  void Send(std::string_view bytes) { ASSERT_TRUE(net::SendAll(conn_, bytes, 5s).ok()); }
  void Close() { conn_.Close(); }

 private:
  net::SocketHandle listener_, conn_;
  uint16_t port_ = 0;
  std::string pending_;
};

SessionOptions NoMonitor() {
  SessionOptions o;
  o.echo_checks = {};
  return o;
}

TEST(TerminalSession, GreetsAnswersBarcodesAndSendsTypedBytes) {
  FakeTerminal kx;
  Recorder rec;
  SessionOptions o = NoMonitor();
  std::vector<unsigned> draws{3, 3, 1};
  std::size_t i = 0;
  o.random = [&] { return draws[i++ % draws.size()]; };
  TerminalSession session({"127.0.0.1", kx.port(), 9}, rec, o);
  session.Connect();
  ASSERT_TRUE(kx.Accept());
  ASSERT_TRUE(rec.WaitConnected());
  EXPECT_EQ(kx.Read(Greeting().size()), Greeting());

  session.SetRespondToBarcodes(true);
  kx.Send("4006381333931\r\n");  // CR and LF: two screens, never the same one twice
  const std::string three = DemoScreen(3, 9), one = DemoScreen(1, 9);
  EXPECT_EQ(kx.Read(three.size() + one.size()), three + one);
  EXPECT_EQ(rec.Text(LogKind::kReceived), "4006381333931<13><10>|");

  session.SetHexInput(true);
  session.TypeKey('1');
  session.TypeKey('b');
  session.SetHexInput(false);
  session.TypeKey('A');
  session.TypeEscape();
  session.Paste("\xE2\x82\xAC");
  EXPECT_EQ(kx.Read(6), "\x1B" "A\x1B\xE2\x82\xAC");
  EXPECT_EQ(rec.Text(LogKind::kTyped), "<0x1B>|A|<27>|\xE2\x82\xAC|");
  EXPECT_NE(rec.Text(LogKind::kSent).find("<27>%Connected !|"), std::string::npos);

  kx.Close();  // the terminal goes away
  ASSERT_TRUE(rec.WaitDisconnected());
  EXPECT_FALSE(session.connected());
  EXPECT_NE(rec.Text(LogKind::kNotice).find("<<<Connection Terminated>>>"), std::string::npos);
}

TEST(TerminalSession, RefusedConnectKeepsTheSessionWithAClearLine) {
  // A bound socket that does not listen: connecting to it is refused.
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  net::SocketHandle bound(fd);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(0x7F000001);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  const uint16_t port = *net::LocalPort(bound);

  Recorder rec;
  TerminalSession session({"127.0.0.1", port, 1}, rec, NoMonitor());
  session.Connect();
  ASSERT_TRUE(rec.WaitDisconnected());
  EXPECT_FALSE(session.active());
  const std::string notices = rec.Text(LogKind::kNotice);
  EXPECT_NE(notices.find("cannot connect to 127.0.0.1:" + std::to_string(port)), std::string::npos) << notices;
  EXPECT_NE(notices.find("Connection refused"), std::string::npos) << notices;
  EXPECT_EQ(rec.close_requested(), 0);

  // The same session connects once the terminal is there.
  FakeTerminal kx;
  session.Connect({"127.0.0.1", kx.port(), 1});
  ASSERT_TRUE(kx.Accept());
  ASSERT_TRUE(rec.WaitConnected());
  session.Disconnect();
  session.WaitUntilDisconnected();
  EXPECT_FALSE(session.connected());
}

TEST(TerminalSession, SeventhMissedEchoInARowClosesTheWindow) {
  FakeTerminal kx;
  Recorder rec;
  SessionOptions o;
  std::atomic<int> checks{0};
  // Answers twice, misses once, answers, then misses for good: only 7 misses in a row count.
  o.echo_checks = [&](uint32_t, std::string&) -> EchoCheck {
    return [&](std::string&) {
      const int n = ++checks;
      return (n <= 2 || n == 4) ? EchoVerdict::kAnswered : EchoVerdict::kNoAnswer;
    };
  };
  o.monitor_timing.after_answer = 1ms;
  TerminalSession session({"127.0.0.1", kx.port(), 1}, rec, o);
  session.Connect();
  ASSERT_TRUE(kx.Accept());
  ASSERT_TRUE(rec.WaitFor([&] { return rec.close_requested() > 0; }));
  session.WaitUntilDisconnected();
  EXPECT_EQ(checks.load(), 11);  // 2 answers, 1 miss, 1 answer, 7 misses
  EXPECT_FALSE(session.connected());
}

TEST(TerminalSession, NoEchoPermissionLeavesTheConnectionAlone) {
  FakeTerminal kx;
  Recorder rec;
  SessionOptions o;
  o.echo_checks = [](uint32_t, std::string& detail) -> EchoCheck {
    detail = "ICMP echo not permitted for this user";
    return {};
  };
  TerminalSession session({"127.0.0.1", kx.port(), 1}, rec, o);
  session.Connect();
  ASSERT_TRUE(kx.Accept());
  ASSERT_TRUE(rec.WaitConnected());
  EXPECT_EQ(kx.Read(Greeting().size()), Greeting());
  kx.Send("X");
  ASSERT_TRUE(rec.WaitFor([&] { return rec.Text(LogKind::kReceived) == "X|"; }));
  EXPECT_TRUE(session.connected());
  EXPECT_EQ(rec.Text(LogKind::kNotice), "reachability check off: ICMP echo not permitted for this user|");
}

}  // namespace
}  // namespace kt::terminal
