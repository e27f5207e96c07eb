// The listener and sessions on real loopback sockets, with an in-memory scan handler.
#include "server/net/echo_server.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "common/event_sink.h"
#include "common/net/tcp_socket.h"
#include "common/platform/sockets/socket_system.h"
#include "server/net/echo_client.h"
#include "server/net/server_flags.h"

namespace kt::net {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string kGreeting = "\x1b%\x1b" "B1\x1b.4CONNECTED\x03";
const std::string kTestText = "QWERTZUIOPASDFGHJK";

class RecordingSink : public EventSink {
 public:
  void ConnectedInfo(std::string_view l) override { Add(std::string(l)); }
  void ScanInfo(std::string_view l) override { Add("scan: " + std::string(l)); }

  // Waits until some line starts with `prefix`.
  bool WaitFor(const std::string& prefix, std::chrono::milliseconds wait = 5000ms) {
    std::unique_lock lock(mu_);
    return cv_.wait_for(lock, wait, [&] { return FindLocked(prefix) >= 0; });
  }
  int Find(const std::string& prefix) {
    std::scoped_lock lock(mu_);
    return FindLocked(prefix);
  }
  std::vector<std::string> Lines() {
    std::scoped_lock lock(mu_);
    return lines_;
  }

 private:
  void Add(std::string l) {
    {
      std::scoped_lock lock(mu_);
      lines_.push_back(std::move(l));
    }
    cv_.notify_all();
  }
  int FindLocked(const std::string& prefix) {
    for (std::size_t i = 0; i < lines_.size(); ++i)
      if (lines_[i].rfind(prefix, 0) == 0) return static_cast<int>(i);
    return -1;
  }
  std::mutex mu_;
  std::condition_variable cv_;
  std::vector<std::string> lines_;
};

// Answers "<code>"; can be told to fail its first table opens; counts what it was asked.
struct HandlerStats {
  std::atomic<int> opens{0}, closes{0}, open_failures_left{0};
  std::atomic<int> answer_delay_ms{0};
};

class FakeHandler : public ScanHandler {
 public:
  explicit FakeHandler(HandlerStats& s) : s_(s) {}
  std::string Greeting() override { return kGreeting; }
  bool OpenTables() override {
    ++s_.opens;
    if (s_.open_failures_left > 0) {
      --s_.open_failures_left;
      return false;
    }
    return true;
  }
  void CloseTables() override { ++s_.closes; }
  std::string Answer(const std::string& code) override {
    if (s_.answer_delay_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(s_.answer_delay_ms));
    return "<" + code + ">";
  }

 private:
  HandlerStats& s_;
};

// Reads from `s` until `done(bytes)` or the wait runs out; returns what arrived.
std::string ReadUntil(const SocketHandle& s, const std::function<bool(const std::string&)>& done,
                      std::chrono::milliseconds wait = 5000ms) {
  std::string got;
  std::array<char, 4096> buf;
  const auto deadline = Clock::now() + wait;
  while (!done(got) && Clock::now() < deadline) {
    auto n = RecvSome(s, buf, 50ms);
    if (n.ok()) got.append(buf.data(), *n);
    else if (!n.status().IsUnavailable()) break;
  }
  return got;
}
std::string ReadBytes(const SocketHandle& s, std::size_t count) {
  return ReadUntil(s, [count](const std::string& g) { return g.size() >= count; });
}
// True when the server closes the connection within the wait, having sent nothing more.
bool ClosedBy(const SocketHandle& s, std::string* extra = nullptr) {
  std::array<char, 256> buf;
  const auto deadline = Clock::now() + 5000ms;
  while (Clock::now() < deadline) {
    auto n = RecvSome(s, buf, 50ms);
    if (n.ok()) {
      if (extra) extra->append(buf.data(), *n);
      continue;
    }
    if (!n.status().IsUnavailable()) return true;
  }
  return false;
}

class EchoServerTest : public ::testing::Test {
 protected:
  EchoServerTest() {
    options_.port = 0;
    options_.bind_ip = "127.0.0.1";
    options_.read_wait = 50ms;
    options_.reopen_pause = 100ms;
    options_.probe_wait = 500ms;
    options_.database_open = [this] { return database_open_.load(); };
  }
  void Start(bool pass_selftest = true, bool database_open = true) {
    const ListenerOptions& o = options_;
    server_ = std::make_unique<KTECHOSERVERTCP>(
        o, flags_, sink_, [this](int) { return std::make_unique<FakeHandler>(stats_); }, kTestText);
    server_->LISTEN();
    ASSERT_TRUE(flags_.listening);
    port_ = server_->SERVERPORT();
    database_open_ = database_open;
    if (pass_selftest) {
      KTECHOCLIENT(flags_).SENDCONNECT(port_, kTestText);
      ASSERT_TRUE(sink_.WaitFor("Firewall testing passed..."));
      ASSERT_TRUE(flags_.selftest_passed);
    }
  }
  SocketHandle Terminal(std::string_view source = "127.0.0.1") {
    auto c = TcpConnect("127.0.0.1", port_, 2000ms, source);
    EXPECT_TRUE(c.ok()) << c.status().ToString();
    return c.ok() ? std::move(*c) : SocketHandle();
  }
  SocketHandle GreetedTerminal(std::string_view source = "127.0.0.1") {
    SocketHandle t = Terminal(source);
    EXPECT_EQ(ReadBytes(t, kGreeting.size()), kGreeting);
    return t;
  }
  void WaitNoLiveSessions() {
    const auto deadline = Clock::now() + 5000ms;
    while (server_->LiveSessions() > 0 && Clock::now() < deadline) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(server_->LiveSessions(), 0);
  }

  ListenerOptions options_;  // as Start uses them; a test may change them before
  ServerFlags flags_;
  std::atomic<bool> database_open_{true};  // what the listener is told of the database
  RecordingSink sink_;
  HandlerStats stats_;
  std::unique_ptr<KTECHOSERVERTCP> server_;
  uint16_t port_ = 0;
};

TEST_F(EchoServerTest, GreetsThenAnswersEveryNonBlankLineOnceInOrder) {
  Start();
  SocketHandle t = GreetedTerminal();
  // Lines come in faster than answers; every ending style; blank lines get nothing;
  // a line that filters to nothing gets "###".
  stats_.answer_delay_ms = 20;
  ASSERT_TRUE(SendAll(t, "F111\rF222\nF333\r\n\r\n   \rX\rX 12-34.5\rF444", 1000ms).ok());
  ASSERT_TRUE(SendAll(t, "\r", 1000ms).ok());
  const std::string expected = "<111><222><333>###<12345><444>";
  EXPECT_EQ(ReadBytes(t, expected.size()), expected);
  EXPECT_TRUE(sink_.WaitFor("scan: 127.0.0.1 Received Data: F444"));
  EXPECT_GE(sink_.Find("scan: 127.0.0.1 Received Data: X 12-34.5"), 0);
  EXPECT_GE(sink_.Find("Connection from 127.0.0.1 on: "), 0);
  EXPECT_GE(sink_.Find("Connection (1) accepted from 127.0.0.1 on: "), 0);
  EXPECT_EQ(sink_.Lines().front(), "Start port listening... ");
  // Nothing more: one reply per line.
  std::string extra = ReadUntil(t, [](const std::string&) { return false; }, 200ms);
  EXPECT_EQ(extra, "");
}

TEST_F(EchoServerTest, ReconnectFromTheSameAddressRetiresTheOlderSession) {
  Start();
  SocketHandle first = GreetedTerminal("127.0.0.5");
  SocketHandle second = GreetedTerminal("127.0.0.5");
  EXPECT_TRUE(sink_.WaitFor("### Connection (1) 127.0.0.5 terminated/lost on: "));
  EXPECT_FALSE(server_->IsActive(1));
  EXPECT_TRUE(server_->IsActive(2));
  EXPECT_TRUE(ClosedBy(first));  // the retired session released its socket
  const int accepted2 = sink_.Find("Connection (2) accepted from 127.0.0.5");
  const int terminated1 = sink_.Find("### Connection (1)");
  EXPECT_GE(accepted2, 0);
  EXPECT_GE(terminated1, 0);
  EXPECT_EQ(sink_.Find("### Connection (2)"), -1);
  ASSERT_TRUE(SendAll(second, "F9\r", 1000ms).ok());
  EXPECT_EQ(ReadBytes(second, 3), "<9>");
  EXPECT_EQ(server_->ConnectionCount(), 2);
}

TEST_F(EchoServerTest, TwoTerminalsAreServedInParallel) {
  Start();
  stats_.answer_delay_ms = 5;
  SocketHandle a = GreetedTerminal("127.0.0.2");
  SocketHandle b = GreetedTerminal("127.0.0.3");
  std::string want_a, want_b, send_a, send_b;
  for (int i = 0; i < 20; ++i) {
    send_a += "FA" + std::to_string(i) + "\r";
    send_b += "FB" + std::to_string(i) + "\n";
    want_a += "<A" + std::to_string(i) + ">";
    want_b += "<B" + std::to_string(i) + ">";
  }
  ASSERT_TRUE(SendAll(a, send_a, 1000ms).ok());
  ASSERT_TRUE(SendAll(b, send_b, 1000ms).ok());
  EXPECT_EQ(ReadBytes(a, want_a.size()), want_a);
  EXPECT_EQ(ReadBytes(b, want_b.size()), want_b);
  EXPECT_TRUE(server_->IsActive(1));
  EXPECT_TRUE(server_->IsActive(2));
  EXPECT_EQ(stats_.opens, 2);
}

TEST_F(EchoServerTest, BeforeTheSelfTestEveryConnectionIsAProbe) {
  Start(/*pass_selftest=*/false);
  {
    SocketHandle early = Terminal();
    ASSERT_TRUE(SendAll(early, "F123\r", 1000ms).ok());
    std::string got;
    EXPECT_TRUE(ClosedBy(early, &got));
    EXPECT_EQ(got, "Error Firewall");  // never the greeting
  }
  EXPECT_TRUE(sink_.WaitFor("Error Firewall Testing..."));
  {
    SocketHandle silent = Terminal();  // sends nothing: neither passes nor answers
    std::string got;
    EXPECT_TRUE(ClosedBy(silent, &got));
    EXPECT_EQ(got, "");
  }
  EXPECT_FALSE(flags_.selftest_passed);
  EXPECT_EQ(server_->ConnectionCount(), 0);

  // A probe with the right text passes and gets the text back.
  SocketHandle probe = Terminal();
  ASSERT_TRUE(SendAll(probe, kTestText, 1000ms).ok());
  std::string got;
  EXPECT_TRUE(ClosedBy(probe, &got));
  EXPECT_EQ(got, kTestText);
  EXPECT_TRUE(flags_.selftest_passed);
  // Two probes in a row carry the same text; the second connection is a terminal already.
  GreetedTerminal();
}

TEST_F(EchoServerTest, WhileTheDatabaseIsClosedTerminalsAreDroppedUnanswered) {
  Start(true, /*database_open=*/false);
  SocketHandle t = Terminal();
  ASSERT_TRUE(SendAll(t, "F123\r", 1000ms).ok());
  std::string got;
  EXPECT_TRUE(ClosedBy(t, &got));
  EXPECT_EQ(got, "");
  EXPECT_EQ(server_->ConnectionCount(), 0);
  EXPECT_TRUE(sink_.WaitFor("### Connection from 127.0.0.1 turned away: database not open, on: "));
}

TEST_F(EchoServerTest, GreetingComesEvenWhenTablesFailAndOpeningIsRetriedPaced) {
  stats_.open_failures_left = 3;
  Start();
  const auto t0 = Clock::now();
  SocketHandle t = GreetedTerminal();
  ASSERT_TRUE(SendAll(t, "F77\r", 1000ms).ok());
  EXPECT_EQ(ReadBytes(t, 4), "<77>");
  EXPECT_EQ(stats_.opens, 4);
  EXPECT_GE(Clock::now() - t0, 250ms);  // three pauses of 100 ms between the attempts
}

TEST_F(EchoServerTest, AFailingTableOpenEndsWhenTheTerminalLeaves) {
  stats_.open_failures_left = 1000000;
  Start();
  {
    SocketHandle t = GreetedTerminal();
  }
  EXPECT_TRUE(sink_.WaitFor("### Connection (1) 127.0.0.1 terminated/lost on: "));
  WaitNoLiveSessions();
  EXPECT_LT(stats_.opens, 100);  // paced, not spinning
}

TEST_F(EchoServerTest, APeerThatClosesOrResetsMidLineEndsItsSession) {
  Start();
  {
    SocketHandle t = GreetedTerminal("127.0.0.2");
    ASSERT_TRUE(SendAll(t, "F12", 1000ms).ok());
  }  // orderly close mid-line
  {
    SocketHandle t = GreetedTerminal("127.0.0.3");
    ASSERT_TRUE(SendAll(t, "F34", 1000ms).ok());
    linger l{1, 0};  // close with a reset
    ::setsockopt(t.get(), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
  }
  EXPECT_TRUE(sink_.WaitFor("### Connection (1) 127.0.0.2 terminated/lost on: "));
  EXPECT_TRUE(sink_.WaitFor("### Connection (2) 127.0.0.3 terminated/lost on: "));
  WaitNoLiveSessions();
  EXPECT_EQ(stats_.closes, 2);
  EXPECT_EQ(sink_.Find("scan: "), -1);  // a half line is never taken for a scan
}

TEST_F(EchoServerTest, ALineWithoutEndIsCutAndTheSessionGoesOn) {
  Start();
  SocketHandle t = GreetedTerminal();
  const std::string chunk(64 * 1024, '7');
  for (int i = 0; i < 16; ++i) ASSERT_TRUE(SendAll(t, chunk, 2000ms).ok());  // 1 MiB, no end
  ASSERT_TRUE(SendAll(t, "\rF5\r", 1000ms).ok());
  // The first 4096 bytes form one line (its code drops the first character), the rest is gone.
  const std::string expected = "<" + std::string(4095, '7') + "><5>";
  EXPECT_EQ(ReadBytes(t, expected.size()), expected);
  std::string extra = ReadUntil(t, [](const std::string&) { return false; }, 200ms);
  EXPECT_EQ(extra, "");
}

TEST_F(EchoServerTest, StopClosesEverySessionAndJoins) {
  Start();
  SocketHandle a = GreetedTerminal("127.0.0.2");
  SocketHandle b = GreetedTerminal("127.0.0.3");
  server_->Stop();
  EXPECT_TRUE(ClosedBy(a));
  EXPECT_TRUE(ClosedBy(b));
  EXPECT_EQ(server_->LiveSessions(), 0);
  EXPECT_FALSE(server_->ListenerRunning());
  EXPECT_FALSE(TcpConnect("127.0.0.1", port_, 500ms).ok());
}

TEST_F(EchoServerTest, EndedSessionsLeaveTheTableSoItOnlyHoldsLiveOnes) {
  Start();
  SocketHandle stays = GreetedTerminal("127.0.0.2");
  for (int i = 0; i < 200; ++i) {
    SocketHandle t = GreetedTerminal("127.0.0.3");
  }
  const auto deadline = Clock::now() + 10s;
  while ((server_->ConnectionEntries() > 1 || server_->LiveSessions() > 1) && Clock::now() < deadline)
    std::this_thread::sleep_for(10ms);
  EXPECT_EQ(server_->ConnectionEntries(), 1);
  EXPECT_EQ(server_->LiveSessions(), 1);
  EXPECT_EQ(server_->ConnectionCount(), 201);  // numbers go on counting
  EXPECT_TRUE(server_->IsActive(1));
  EXPECT_FALSE(server_->IsActive(2));
  // The next terminal gets the next number.
  SocketHandle next = GreetedTerminal("127.0.0.4");
  EXPECT_TRUE(sink_.WaitFor("Connection (202) accepted from 127.0.0.4"));
  ASSERT_TRUE(SendAll(stays, "F1\r", 1000ms).ok());
  EXPECT_EQ(ReadBytes(stays, 3), "<1>");
}

TEST_F(EchoServerTest, AWaitingSessionEndsAtOnceWhenRetiredOrStoppedHoweverLongItsReadWait) {
  options_.read_wait = 10min;
  Start();
  const auto t0 = Clock::now();
  SocketHandle first = GreetedTerminal("127.0.0.5");
  SocketHandle second = GreetedTerminal("127.0.0.5");
  EXPECT_TRUE(sink_.WaitFor("### Connection (1) 127.0.0.5 terminated/lost on: "));
  EXPECT_TRUE(ClosedBy(first));
  ASSERT_TRUE(SendAll(second, "F9\r", 1000ms).ok());
  EXPECT_EQ(ReadBytes(second, 3), "<9>");
  server_->Stop();
  EXPECT_TRUE(ClosedBy(second));
  EXPECT_LT(Clock::now() - t0, 30s);
}

// A terminal that vanishes without closing: its socket is dropped without a FIN or reset (repair
// mode), as a power cut leaves it. The server's keepalive probe meets the host that no longer
// knows the connection, and the session ends by itself.
TEST_F(EchoServerTest, KeepaliveEndsTheSessionOfATerminalThatVanished) {
  options_.read_wait = 10min;
  options_.keepalive_idle = 1s;
  options_.keepalive_interval = 1s;
  options_.keepalive_count = 2;
  Start();
  // Only the greeting is exchanged (acknowledged at once, as first data is), so nothing is in
  // flight when the terminal vanishes: only a keepalive probe can find out.
  SocketHandle t = GreetedTerminal("127.0.0.6");
#ifdef TCP_REPAIR
  const int on = 1;
  if (::setsockopt(t.get(), IPPROTO_TCP, TCP_REPAIR, &on, sizeof on) != 0)
    GTEST_SKIP() << "TCP repair mode needs CAP_NET_ADMIN";
#else
  GTEST_SKIP() << "dropping a connection without FIN or reset needs TCP repair mode (Linux only)";
#endif
  t.Close();  // silently: no FIN, no reset
  EXPECT_TRUE(sink_.WaitFor("### Connection (1) 127.0.0.6 terminated/lost on: ", 20s));
  WaitNoLiveSessions();
}

TEST_F(EchoServerTest, AboveTheSessionLimitTerminalsAreRefusedWithOneNote) {
  options_.max_sessions = 2;
  Start();
  SocketHandle a = GreetedTerminal("127.0.0.2");
  SocketHandle b = GreetedTerminal("127.0.0.3");
  for (const char* ip : {"127.0.0.4", "127.0.0.7", "127.0.0.8"}) {
    SocketHandle refused = Terminal(ip);
    std::string got;
    EXPECT_TRUE(ClosedBy(refused, &got)) << ip;
    EXPECT_EQ(got, "") << ip;
  }
  ASSERT_TRUE(sink_.WaitFor("### Connection from 127.0.0.4 refused: 2 sessions live (the limit) on: "));
  int notes = 0;
  for (const std::string& l : sink_.Lines()) notes += l.find(" refused: ") != std::string::npos ? 1 : 0;
  EXPECT_EQ(notes, 1);  // one note a minute, not one per connection
  EXPECT_EQ(server_->ConnectionCount(), 2);

  // A terminal that reconnects takes its own place back; one that leaves frees a place.
  SocketHandle a2 = GreetedTerminal("127.0.0.2");
  b = SocketHandle();
  EXPECT_TRUE(sink_.WaitFor("### Connection (2) 127.0.0.3 terminated/lost on: "));
  const auto deadline = Clock::now() + 5s;
  while (server_->LiveSessions() > 1 && Clock::now() < deadline) std::this_thread::sleep_for(10ms);
  SocketHandle c = GreetedTerminal("127.0.0.4");
  ASSERT_TRUE(SendAll(c, "F4\r", 1000ms).ok());
  EXPECT_EQ(ReadBytes(c, 3), "<4>");
}

TEST(EchoServerBind, APortInUseLeavesTheListeningFlagClear) {
  auto taken = TcpListen("", 0, 5);
  ASSERT_TRUE(taken.ok());
  ListenerOptions o;
  o.port = *LocalPort(*taken);
  ServerFlags flags;
  RecordingSink sink;
  KTECHOSERVERTCP server(o, flags, sink, [](int) { return std::unique_ptr<ScanHandler>(); }, kTestText);
  server.LISTEN();  // returns although the bind failed
  EXPECT_FALSE(flags.listening);
  EXPECT_FALSE(server.ListenerRunning());
  EXPECT_TRUE(sink.Lines().empty());
  // The probe reaches the other program's socket: sent, but never passed.
  KTECHOCLIENT(flags).SENDCONNECT(o.port, kTestText);
  EXPECT_TRUE(flags.probe_sent);
  EXPECT_FALSE(flags.selftest_passed);
}

}  // namespace
}  // namespace kt::net
