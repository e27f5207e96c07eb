// The simulated TCP-server terminal against the tool's real terminal session.
#include "sim/tcp/server_terminal.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "tool/terminal/demo_screens.h"
#include "tool/terminal/terminal_session.h"

namespace kt::sim {
namespace {

using namespace std::chrono_literals;

class Quiet : public terminal::SessionObserver {
 public:
  void OnLog(const terminal::LogPiece&) override {}
};

TEST(ServerTerminal, DrawsTheGreetingAndScreensAnsweringItsScans) {
  auto kx = ServerTerminal::Start({});
  ASSERT_TRUE(kx.ok()) << kx.status().ToString();
  (*kx)->Scan("4006381333931");  // scanned before the tool is there: waits for it

  Quiet quiet;
  terminal::SessionOptions o;
  o.echo_checks = {};
  o.random = [] { return 2u; };
  terminal::TerminalSession session({"127.0.0.1", (*kx)->port(), 9}, quiet, o);
  session.SetRespondToBarcodes(true);
  session.Connect();
  const std::string expected = terminal::Greeting() + terminal::DemoScreen(2, 9);
  ASSERT_TRUE((*kx)->WaitForReceived([&](const std::string& r) { return r.size() >= expected.size(); }, 10s));
  EXPECT_EQ((*kx)->received(), expected);
  const auto rows = (*kx)->DisplayRows();
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows[0], "Mineral Water");
  session.Disconnect();
  session.WaitUntilDisconnected();
}

}  // namespace
}  // namespace kt::sim
