// The headless program as a Windows process: it serves the demo data, answers a scan on
// loopback, and stops cleanly on Ctrl-Break; a bad command line is refused.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>

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

TEST_F(HeadlessWindowsProgram, ServesTheDemoDataAndStopsCleanlyOnCtrlBreak) {
  const fs::path log = dir_ / "out.log";
  WindowsChild server({KT_SERVER_BINARY, "--headless", "--workdir", (dir_ / "work").string(), "--port", "0", "--data",
                       (dir_ / "data").string(), "--bind", "127.0.0.1", "--no-restart"},
                      log);
  ASSERT_TRUE(server.started());
  uint16_t port = 0;
  const std::regex port_line(R"(\(headless\) Port: (\d+))");
  for (auto end = Clock::now() + 30s; Clock::now() < end && port == 0;) {
    std::smatch m;
    const std::string text = ReadFileBytes(log);
    if (text.find("Self-test passed") != std::string::npos && std::regex_search(text, m, port_line))
      port = static_cast<uint16_t>(std::stoi(m[1]));
    else
      std::this_thread::sleep_for(20ms);
  }
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

  ASSERT_TRUE(::GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, server.id()));
  EXPECT_EQ(server.WaitExit(10s), 0);
  const std::string text = ReadFileBytes(log);
  EXPECT_TRUE(std::regex_search(text, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} scan: 127\.0\.0\.1 Received Data: FAQ600)")))
      << text;
  EXPECT_NE(text.find("info: Stopped"), std::string::npos) << text;
  EXPECT_TRUE(fs::exists(dir_ / "work" / "KTVISTRD.DAT"));
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
