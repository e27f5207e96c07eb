// The headless program as a Windows process: it serves the demo data, answers a scan on
// loopback, and stops cleanly on Ctrl-Break; a bad command line is refused.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "common/net/tcp_socket.h"
#include "common/testing/files.h"
#include "common/testing/os.h"
#include "common/testing/windows_child.h"
#include "server/data/demo/demo_data.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;
using kt::test_support::ReadFileBytes;
using kt::test_support::WindowsChild;

class HeadlessWindowsProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("kt_headless_" + std::to_string(kt::test_support::ProcessId()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "work");
    ASSERT_TRUE(kt::data::demo::WriteDemoDataSet(dir_ / "data", {.item_count = 30}).ok());
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  fs::path dir_;
};

// Starts the server on the demo data; the port it serves on, or 0 when it did not come up.
uint16_t StartServer(WindowsChild& server, const fs::path& log) {
  if (!server.started()) return 0;
  const std::regex port_line(R"(\(headless\) Port: (\d+))");
  for (auto end = Clock::now() + 30s; Clock::now() < end;) {
    std::smatch m;
    const std::string text = ReadFileBytes(log);
    if (text.find("Self-test passed") != std::string::npos && std::regex_search(text, m, port_line))
      return static_cast<uint16_t>(std::stoi(m[1]));
    std::this_thread::sleep_for(20ms);
  }
  return 0;
}

std::vector<std::string> ServerArgs(const fs::path& dir) {
  return {KT_SERVER_BINARY, "--headless", "--workdir", (dir / "work").string(), "--port", "0", "--data",
          (dir / "data").string(), "--bind", "127.0.0.1", "--no-restart"};
}

TEST_F(HeadlessWindowsProgram, ServesTheDemoDataOnLoopback) {
  const fs::path log = dir_ / "out.log";
  WindowsChild server(ServerArgs(dir_), log);
  const uint16_t port = StartServer(server, log);
  ASSERT_NE(port, 0) << ReadFileBytes(log);

  auto t = kt::net::TcpConnect("127.0.0.1", port, 2000ms);
  ASSERT_TRUE(t.ok()) << t.status().ToString();
  std::string got;
  std::array<char, 512> buf;
  ASSERT_TRUE(kt::net::SendAll(*t, "FAQ600\r", 1000ms).ok());
  for (auto end = Clock::now() + 5s; Clock::now() < end && got.find("BTL\x03") == std::string::npos;) {
    auto n = kt::net::RecvSome(*t, buf, 50ms);
    if (n.ok()) got.append(buf.data(), *n);
  }
  EXPECT_EQ(got.substr(0, 18), "\x1B%\x1B" "B1\x1B.4CONNECTED\x03");
  EXPECT_NE(got.find("Air Mineral 600ml"), std::string::npos);
  for (auto end = Clock::now() + 5s; Clock::now() < end && ReadFileBytes(log).find("FAQ600") == std::string::npos;)
    std::this_thread::sleep_for(20ms);
  EXPECT_TRUE(std::regex_search(ReadFileBytes(log),
                                std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} scan: 127\.0\.0\.1 Received Data: FAQ600)")))
      << ReadFileBytes(log);
  EXPECT_TRUE(fs::exists(dir_ / "work" / "KTVISTRD.DAT"));
}

TEST_F(HeadlessWindowsProgram, StopsCleanlyOnCtrlBreak) {
  // Ctrl-Break reaches the processes of a console; a test whose output is a pipe has none, so it
  // makes one for the server to share.
  ::AllocConsole();
  const fs::path log = dir_ / "out.log";
  WindowsChild server(ServerArgs(dir_), log);
  ASSERT_NE(StartServer(server, log), 0) << ReadFileBytes(log);
  if (!::GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, server.id()))
    GTEST_SKIP() << "no console to send Ctrl-Break through here (Wine without a terminal); "
                    "scripts/windows-scan-test stops the server under Wine with Ctrl-C";
  EXPECT_EQ(server.WaitExit(10s), 0);
  EXPECT_NE(ReadFileBytes(log).find("info: Stopped"), std::string::npos) << ReadFileBytes(log);
}

TEST_F(HeadlessWindowsProgram, ABadCommandLineIsRefused) {
  const fs::path out = dir_ / "bad.log";
  for (const char* bad : {"--port=70000", "--bogus"}) {
    WindowsChild server({KT_SERVER_BINARY, "--headless", bad}, out);
    ASSERT_TRUE(server.started());
    EXPECT_EQ(server.WaitExit(10s), 2) << bad << ReadFileBytes(out);
  }
}

// The Linux process tests that have no Windows counterpart yet, listed with the reason.
TEST(HeadlessWindowsProgramLinuxOnly, AnUnreadOutputPipeDoesNotStopTheScans) {
  GTEST_SKIP() << "drives the server through a POSIX pipe and fork/exec (Linux test: headless_test.cpp)";
}
TEST(HeadlessWindowsProgramLinuxOnly, RaisesItsOpenFileLimitToTheHardLimit) {
  GTEST_SKIP() << "open-file limits (setrlimit, /proc/PID/limits) exist on Linux only";
}
TEST(HeadlessWindowsProgramLinuxOnly, ServesOnceTheDataFolderAppears) {
  GTEST_SKIP() << "the late data folder test stops the server with SIGTERM (Linux test: headless_test.cpp)";
}

}  // namespace
