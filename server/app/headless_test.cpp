// The headless program as a process: options, log lines on standard output, clean stop.
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "common/testing/files.h"

#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/net/tcp_socket.h"
#include "common/text/printable.h"
#include "server/data/demo/demo_data.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

// `open_files`: when set, the child's open-file limits (soft, hard) before it starts the server.
pid_t Spawn(const std::vector<std::string>& args, const fs::path& out,
            std::optional<std::pair<rlim_t, rlim_t>> open_files = std::nullopt) {
  pid_t pid = fork();
  if (pid == 0) {
    if (open_files) {
      rlimit l{open_files->first, open_files->second};
      if (setrlimit(RLIMIT_NOFILE, &l) != 0) _exit(126);
    }
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


// Standard output is a pipe that the test stops reading once the server serves: log lines back
// up, yet every scan is still answered, and the lines held back come out once it reads again.
TEST(HeadlessProgramOutput, AnUnreadOutputPipeDoesNotStopTheScans) {
  const fs::path dir = fs::temp_directory_path() / ("kt_headless_pipe_" + std::to_string(getpid()));
  fs::create_directories(dir / "work");
  ASSERT_TRUE(kt::data::demo::WriteDemoDataSet(dir / "data", {.item_count = 30}).ok());
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    close(out[0]);
    close(out[1]);
    std::vector<std::string> args = {"kt-vistrand-server", "--headless", "--workdir", (dir / "work").string(),
                                     "--port", "0", "--data", (dir / "data").string(), "--bind", "127.0.0.1",
                                     "--no-restart"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(KT_SERVER_BINARY, argv.data());
    _exit(127);
  }
  close(out[1]);
  std::string text;
  std::array<char, 4096> buf;
  auto read_some = [&](std::chrono::milliseconds wait) {
    pollfd p{out[0], POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(wait.count())) <= 0) return false;
    const ssize_t n = read(out[0], buf.data(), buf.size());
    if (n > 0) text.append(buf.data(), static_cast<std::size_t>(n));
    return n > 0;
  };
  uint16_t port = 0;
  const std::regex port_line(R"(\(headless\) Port: (\d+))");
  for (auto end = Clock::now() + 30s; Clock::now() < end && port == 0;) {
    read_some(100ms);
    std::smatch m;
    if (text.find("Self-test passed") != std::string::npos && std::regex_search(text, m, port_line))
      port = static_cast<uint16_t>(std::stoi(m[1]));
  }
  ASSERT_NE(port, 0) << text;

  // From here on nobody reads. 100 scans of 3000 bytes make 300 KB of log, several pipe-fulls.
  auto t = kt::net::TcpConnect("127.0.0.1", port, 2000ms);
  ASSERT_TRUE(t.ok());
  const std::string code = "F" + std::string(3000, '7');
  int replies = 0;
  std::string got;
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(kt::net::SendAll(*t, code + "\r", 5000ms).ok());
  for (auto end = Clock::now() + 30s; Clock::now() < end && replies < 100;) {
    auto n = kt::net::RecvSome(*t, buf, 50ms);
    if (!n.ok()) continue;
    got.append(buf.data(), *n);
    replies = 0;  // every reply is the scan-failed text: no item has that code
    for (auto at = got.find("Kode tidak ketemu"); at != std::string::npos; at = got.find("Kode tidak ketemu", at + 1))
      ++replies;
  }
  EXPECT_EQ(replies, 100) << kt::text::Printable(got.substr(0, 300));

  // Reading again: the lines held back arrive, then the stop.
  kill(pid, SIGTERM);
  for (auto end = Clock::now() + 30s; Clock::now() < end && text.find("info: Stopped") == std::string::npos;)
    read_some(100ms);
  EXPECT_EQ(WaitExit(pid, 10s), 0);
  close(out[0]);
  EXPECT_NE(text.find("info: Stopped"), std::string::npos);
  std::size_t received = 0;
  for (std::size_t at = text.find("Received Data: F7"); at != std::string::npos; at = text.find("Received Data: F7", at + 1))
    ++received;
  const bool dropped_noted = text.find("log lines dropped") != std::string::npos;
  EXPECT_TRUE(received == 100 || dropped_noted) << received;
  fs::remove_all(dir);
}

// Started with a low soft limit, the server raises it to the hard limit (each terminal holds a
// socket and its tables' files).
TEST(HeadlessProgramLimits, RaisesItsOpenFileLimitToTheHardLimit) {
  const fs::path dir_ = fs::temp_directory_path() / ("kt_headless_limits_" + std::to_string(getpid()));
  fs::create_directories(dir_ / "work");
  ASSERT_TRUE(kt::data::demo::WriteDemoDataSet(dir_ / "data", {.item_count = 30}).ok());
  const fs::path log = dir_ / "out.log";
  const pid_t pid = Spawn({"kt-vistrand-server", "--headless", "--workdir", (dir_ / "work").string(), "--port", "0",
                           "--data", (dir_ / "data").string(), "--bind", "127.0.0.1", "--no-restart"},
                          log, std::pair<rlim_t, rlim_t>{256, 4096});
  for (auto end = Clock::now() + 30s;
       Clock::now() < end && kt::test_support::ReadFileBytes(log).find("Self-test passed") == std::string::npos;)
    std::this_thread::sleep_for(20ms);
  const std::string limits = kt::test_support::ReadFileBytes("/proc/" + std::to_string(pid) + "/limits");
  kill(pid, SIGTERM);
  EXPECT_EQ(WaitExit(pid, 10s), 0);
  EXPECT_TRUE(std::regex_search(limits, std::regex(R"(Max open files\s+4096\s+4096)"))) << limits;
  fs::remove_all(dir_);
}

TEST(HeadlessProgramOptions, ABadCommandLineIsRefused) {
  const fs::path out = fs::temp_directory_path() / ("kt_headless_bad_" + std::to_string(getpid()));
  EXPECT_EQ(WaitExit(Spawn({"kt-vistrand-server", "--headless", "--port", "70000"}, out), 10s), 2);
  EXPECT_EQ(WaitExit(Spawn({"kt-vistrand-server", "--headless", "--bogus"}, out), 10s), 2);
  fs::remove(out);
}

}  // namespace
