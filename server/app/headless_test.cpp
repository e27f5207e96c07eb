// The headless program as a process: options, log lines on standard output, clean stop.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "common/testing/files.h"

#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/net/tcp_socket.h"
#include "server/data/demo/demo_data.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

pid_t Spawn(const std::vector<std::string>& args, const fs::path& out) {
  pid_t pid = fork();
  if (pid == 0) {
    FILE* f = std::freopen(out.c_str(), "w", stdout);
    (void)f;
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(KT_SERVER_BINARY, argv.data());
    _exit(127);
  }
  return pid;
}

// Exit status of `pid` within the wait, or -1.
int WaitExit(pid_t pid, std::chrono::milliseconds wait) {
  const auto end = Clock::now() + wait;
  int status = 0;
  while (Clock::now() < end) {
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::this_thread::sleep_for(10ms);
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

class HeadlessProgram : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("kt_headless_" + std::to_string(getpid()) + "_" + std::to_string(GetParam()));
    fs::create_directories(dir_ / "work");
    ASSERT_TRUE(kt::data::demo::WriteDemoDataSet(dir_ / "data", {.item_count = 30}).ok());
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_P(HeadlessProgram, ServesTheDemoDataAndStopsCleanlyOnTheSignal) {
  const fs::path log = dir_ / "out.log";
  const pid_t pid = Spawn({"kt-vistrand-server", "--headless", "--workdir", (dir_ / "work").string(), "--port", "0",
                           "--data", (dir_ / "data").string(), "--bind", "127.0.0.1", "--no-restart"},
                          log);
  uint16_t port = 0;
  const std::regex port_line(R"(\(headless\) Port: (\d+))");
  for (auto end = Clock::now() + 30s; Clock::now() < end && port == 0;) {
    std::smatch m;
    const std::string text = kt::test_support::ReadFileBytes(log);
    if (text.find("Self-test passed") != std::string::npos && std::regex_search(text, m, port_line))
      port = static_cast<uint16_t>(std::stoi(m[1]));
    else
      std::this_thread::sleep_for(20ms);
  }
  ASSERT_NE(port, 0) << kt::test_support::ReadFileBytes(log);

  auto t = kt::net::TcpConnect("127.0.0.1", port, 2000ms);
  ASSERT_TRUE(t.ok());
  std::string got;
  std::array<char, 512> buf;
  ASSERT_TRUE(kt::net::SendAll(*t, "FAQ600\r", 1000ms).ok());
  for (auto end = Clock::now() + 5s; Clock::now() < end && got.find("BTL\x03") == std::string::npos;) {
    auto n = kt::net::RecvSome(*t, buf, 50ms);
    if (n.ok()) got.append(buf.data(), *n);
  }
  EXPECT_EQ(got.substr(0, 18), "\x1B%\x1B" "B1\x1B.4CONNECTED\x03");
  EXPECT_NE(got.find("Air Mineral 600ml"), std::string::npos);

  kill(pid, GetParam());
  EXPECT_EQ(WaitExit(pid, 10s), 0);
  const std::string text = kt::test_support::ReadFileBytes(log);
  // Every line carries a timestamp; the scan and the stop are there.
  EXPECT_TRUE(std::regex_search(text, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} scan: 127\.0\.0\.1 Received Data: FAQ600)")))
      << text;
  EXPECT_NE(text.find("info: Stopped"), std::string::npos) << text;
  EXPECT_TRUE(fs::exists(dir_ / "work" / "KTVISTRD.DAT"));
}

INSTANTIATE_TEST_SUITE_P(Signals, HeadlessProgram, ::testing::Values(SIGTERM, SIGINT));

// A data folder that is not there at start (a network share that mounts late): the server says
// it is not serving, logs every terminal it turns away, and opens the database once the folder
// appears, without a restart.
TEST(HeadlessProgramLateData, ServesOnceTheDataFolderAppears) {
  const fs::path dir = fs::temp_directory_path() / ("kt_headless_late_" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "work");
  const fs::path log = dir / "out.log";
  const pid_t pid = Spawn({"kt-vistrand-server", "--headless", "--workdir", (dir / "work").string(), "--port", "0",
                           "--data", (dir / "late").string(), "--bind", "127.0.0.1", "--no-restart"},
                          log);
  auto wait_for = [&](const std::string& what) {
    for (auto end = Clock::now() + 30s; Clock::now() < end;) {
      if (kt::test_support::ReadFileBytes(log).find(what) != std::string::npos) return true;
      std::this_thread::sleep_for(20ms);
    }
    return false;
  };
  ASSERT_TRUE(wait_for("info: ### Database not open: terminals are turned away")) << kt::test_support::ReadFileBytes(log);
  EXPECT_TRUE(wait_for("error: Gagal buke file S_KONTRO !"));
  std::smatch m;
  std::string text = kt::test_support::ReadFileBytes(log);
  ASSERT_TRUE(std::regex_search(text, m, std::regex(R"(\(headless\) Port: (\d+))"))) << text;
  const auto port = static_cast<uint16_t>(std::stoi(m[1]));

  // A terminal now is turned away, and the log says so.
  {
    auto t = kt::net::TcpConnect("127.0.0.1", port, 2000ms);
    ASSERT_TRUE(t.ok());
    EXPECT_TRUE(wait_for("turned away: database not open")) << kt::test_support::ReadFileBytes(log);
  }

  ASSERT_TRUE(kt::data::demo::WriteDemoDataSet(dir / "late", {.item_count = 30}).ok());
  ASSERT_TRUE(wait_for("Database opened: serving terminals")) << kt::test_support::ReadFileBytes(log);
  auto t = kt::net::TcpConnect("127.0.0.1", port, 2000ms);
  ASSERT_TRUE(t.ok());
  std::string got;
  std::array<char, 512> buf;
  ASSERT_TRUE(kt::net::SendAll(*t, "FAQ600\r", 1000ms).ok());
  for (auto end = Clock::now() + 10s; Clock::now() < end && got.find("Air Mineral 600ml") == std::string::npos;) {
    auto n = kt::net::RecvSome(*t, buf, 50ms);
    if (n.ok()) got.append(buf.data(), *n);
  }
  EXPECT_NE(got.find("Air Mineral 600ml"), std::string::npos);
  kill(pid, SIGTERM);
  EXPECT_EQ(WaitExit(pid, 10s), 0);
  text = kt::test_support::ReadFileBytes(log);
  EXPECT_NE(text.find("info: Self-test passed: serving terminals"), std::string::npos) << text;
  fs::remove_all(dir);
}

TEST(HeadlessProgramOptions, ABadCommandLineIsRefused) {
  const fs::path out = fs::temp_directory_path() / ("kt_headless_bad_" + std::to_string(getpid()));
  EXPECT_EQ(WaitExit(Spawn({"kt-vistrand-server", "--headless", "--port", "70000"}, out), 10s), 2);
  EXPECT_EQ(WaitExit(Spawn({"kt-vistrand-server", "--headless", "--bogus"}, out), 10s), 2);
  fs::remove(out);
}

}  // namespace
