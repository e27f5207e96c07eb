// Simulated terminals against the real listener with small in-memory handlers.
#include "sim/tcp/tcp_terminal.h"

#include <gtest/gtest.h>

#include <atomic>

#include "common/event_sink.h"
#include "server/net/echo_client.h"
#include "server/net/echo_server.h"
#include "server/net/server_flags.h"

namespace kt::sim {
namespace {

using namespace std::chrono_literals;

// Replies "[code]" + 0x03, or, when told, something without an end or a counter.
class Handler : public net::ScanHandler {
 public:
  enum class Mode { kTerminated, kUnterminated, kChanging };
  explicit Handler(Mode m) : mode_(m) {}
  std::string Greeting() override { return "\x1B%HELLO\x03"; }
  bool OpenTables() override { return true; }
  void CloseTables() override {}
  std::string Answer(const std::string& code) override {
    switch (mode_) {
      case Mode::kTerminated: return "[" + code + "]\x03";
      case Mode::kUnterminated: return "[" + code + "]";
      case Mode::kChanging: return "[" + code + std::to_string(++count_) + "]\x03";
    }
    return {};
  }

 private:
  const Mode mode_;
  int count_ = 0;
};

class SimTest : public ::testing::Test {
 protected:
  void Start(Handler::Mode mode) {
    net::ListenerOptions o;
    o.port = 0;
    o.bind_ip = "127.0.0.1";
    o.read_wait = 50ms;
    server_ = std::make_unique<net::KTECHOSERVERTCP>(
        o, flags_, sink_, [mode](int) { return std::make_unique<Handler>(mode); }, "SELFTESTTEXTABCDEF");
    server_->LISTEN();
    net::KTECHOCLIENT(flags_).SENDCONNECT(server_->SERVERPORT(), "SELFTESTTEXTABCDEF");
    for (int i = 0; i < 4000 && !flags_.selftest_passed; ++i) std::this_thread::sleep_for(5ms);
    ASSERT_TRUE(flags_.selftest_passed);
  }
  TerminalOptions Options() {
    TerminalOptions t;
    t.port = server_->SERVERPORT();
    t.quiet = 50ms;
    t.reply_timeout = 2000ms;
    return t;
  }
  net::ServerFlags flags_;
  EventSink& sink_ = NullEventSink();
  std::unique_ptr<net::KTECHOSERVERTCP> server_;
};

TEST_F(SimTest, OneTerminalGetsTheGreetingAndOneReplyPerCode) {
  Start(Handler::Mode::kTerminated);
  TcpTerminal t(Options());
  ASSERT_TRUE(t.Connect().ok());
  EXPECT_EQ(t.greeting(), "\x1B%HELLO\x03");
  EXPECT_EQ(*t.Scan("AQ600"), "[AQ600]\x03");
  EXPECT_EQ(*t.Scan(""), "###");  // only the prefix: an empty code
  EXPECT_EQ(*t.Scan("12"), "[12]\x03");
}

TEST_F(SimTest, AReplyWithoutAKnownEndIsClosedBySilence) {
  Start(Handler::Mode::kUnterminated);
  TcpTerminal t(Options());
  ASSERT_TRUE(t.Connect().ok());
  EXPECT_EQ(*t.Scan("X1"), "[X1]");
  EXPECT_EQ(*t.Scan("X2"), "[X2]");
}

TEST_F(SimTest, ManyTerminalsFromSpreadAddressesAllGetTheirReplies) {
  Start(Handler::Mode::kTerminated);
  LoadOptions lo;
  lo.terminal = Options();
  lo.terminals = 8;
  lo.scans = 40;
  lo.spread_addresses = true;
  lo.codes = {"A1", "B2", "C3"};
  std::atomic<int> connected_calls{0};
  lo.on_connected = [&] { ++connected_calls; };
  const LoadResult r = RunLoad(lo);
  EXPECT_EQ(r.terminals_connected, 8);
  EXPECT_EQ(r.replies, 320);
  EXPECT_EQ(r.errors, 0);
  EXPECT_EQ(r.mismatches, 0);
  EXPECT_EQ(r.latencies_us.size(), 320u);
  EXPECT_EQ(connected_calls, 1);
  EXPECT_EQ(server_->ConnectionCount(), 8);  // nobody was retired by a neighbour
  EXPECT_LE(r.Percentile(50), r.Percentile(99));
}

TEST_F(SimTest, DifferingRepliesToOneCodeAreCounted) {
  Start(Handler::Mode::kChanging);
  LoadOptions lo;
  lo.terminal = Options();
  lo.scans = 5;
  lo.codes = {"SAME"};
  const LoadResult r = RunLoad(lo);
  EXPECT_EQ(r.replies, 5);
  EXPECT_EQ(r.mismatches, 4);
}

TEST(SimAddresses, SpreadAddressesStayOnLoopbackAndDiffer) {
  EXPECT_EQ(SpreadAddress(0), "127.0.1.1");
  EXPECT_EQ(SpreadAddress(249), "127.0.1.250");
  EXPECT_EQ(SpreadAddress(250), "127.0.2.1");
  EXPECT_TRUE(LooksComplete("###"));
  EXPECT_TRUE(LooksComplete("ab\x03"));
  EXPECT_FALSE(LooksComplete("\x03"));
  EXPECT_FALSE(LooksComplete("##"));
}

}  // namespace
}  // namespace kt::sim
