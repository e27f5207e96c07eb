// Process tests of the window mode: the real kt-vistrand-server on an offscreen display, a real
// terminal connection on loopback, the demo data set.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "common/testing/files.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "server/data/demo/demo_data.h"
#include "server/data/global_variable.h"
#include "server/data/settings_table.h"
#include "server/errlog/report.h"
#include "server/reply/default_templates.h"
#include "server/ui/ui_test_support.h"

extern char** environ;

namespace kt::ui {
namespace {

using namespace std::chrono_literals;
using testing::TempFolder;

// The default greeting as the terminal receives it.
const std::string kGreeting("\x1b%\x1b" "B1\x1b.4CONNECTED\x03");

template <typename Pred>
bool WaitFor(Pred done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(50ms);
  }
  return done();
}

// The port the server bound, from the newest start line of its activity log (0: none yet).
uint16_t LoggedPort(const std::filesystem::path& workdir) {
  const std::string log = kt::test_support::ReadFileBytes(workdir / "KTVistrd.log");
  const std::string mark = " I KT-Vistrand TCP Server Port: ";
  const std::size_t at = log.rfind(mark);
  if (at == std::string::npos) return 0;
  return static_cast<uint16_t>(std::atoi(log.c_str() + at + mark.size()));
}

// A terminal: connects and reads the greeting (up to its final 0x03). -1 when nothing answers.
int ConnectTerminal(uint16_t port, std::string& greeting) {
  int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  timeval tv{2, 0};
  ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(s);
    return -1;
  }
  greeting.clear();
  char buf[256];
  while (greeting.empty() || greeting.back() != '\x03') {
    ssize_t n = ::recv(s, buf, sizeof buf, 0);
    if (n <= 0) {
      ::close(s);
      return -1;
    }
    greeting.append(buf, static_cast<std::size_t>(n));
  }
  return s;
}

std::string ThreadName(pid_t pid, int tid) {
  return kt::test_support::ReadFileBytes("/proc/" + std::to_string(pid) + "/task/" + std::to_string(tid) + "/comm");
}

// True while thread `tid` of `pid` is blocked in poll (its read wait).
bool BlockedInPoll(pid_t pid, int tid) {
  const std::string call =
      kt::test_support::ReadFileBytes("/proc/" + std::to_string(pid) + "/task/" + std::to_string(tid) + "/syscall");
  const long number = std::atol(call.c_str());
  if (call.empty() || call[0] == 'r') return false;  // "running"
#ifdef SYS_poll
  if (number == SYS_poll) return true;
#endif
  return number == SYS_ppoll;
}

std::set<int> Threads(pid_t pid) {
  std::set<int> out;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
    out.insert(std::stoi(e.path().filename().string()));
  }
  return out;
}

// Processes whose command line mentions `needle` (the restarted server has a new pid).
std::vector<pid_t> ProcessesWith(const std::string& needle) {
  std::vector<pid_t> out;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator("/proc", ec)) {
    const std::string name = e.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string cmd = kt::test_support::ReadFileBytes(e.path() / "cmdline");
    if (cmd.find(needle) != std::string::npos && cmd.find("server_ui_test") == std::string::npos) {
      out.push_back(std::stoi(name));
    }
  }
  return out;
}

class ServerProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(data::demo::WriteDemoDataSet(data_.path()).ok());
  }

  void TearDown() override {
    for (pid_t pid : ProcessesWith(work_.path().string())) ::kill(pid, SIGKILL);
    for (pid_t pid : started_) ::waitpid(pid, nullptr, 0);
  }

  // Starts the server on `port` (0: a port of its own choosing, read from its log later) with
  // the data location `data` (empty: the demo data set).
  pid_t Start(const std::string& tag, uint16_t port = 0, std::string data = {}) {
    if (data.empty()) data = data_.path().string() + "/";
    std::vector<std::string> args = {KT_SERVER_BINARY, "--workdir", work_.path().string(), "--port",
                                     std::to_string(port), "--data", data};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env_strings;
    for (char** e = environ; *e != nullptr; ++e) {
      if (std::string_view(*e).substr(0, 16) != "QT_QPA_PLATFORM=") env_strings.emplace_back(*e);
    }
    env_strings.emplace_back("QT_QPA_PLATFORM=offscreen");
    std::vector<char*> envp;
    for (auto& e : env_strings) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string out = (work_.path() / (tag + ".out")).string();
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, (out + "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, KT_SERVER_BINARY, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(rc, 0);
    started_.push_back(pid);
    return pid;
  }

  // Waits until the newest instance has logged its port and passed its self-test (a terminal
  // that came earlier would be taken for the probe), then until a terminal connecting to it gets
  // the greeting; returns the socket. `after`: log bytes that belong to earlier instances.
  int WaitForTerminalService(std::size_t after = 0) {
    int s = -1;
    std::string greeting;
    const auto log = work_.path() / "KTVistrd.log";
    WaitFor([&] {
      const std::string text = kt::test_support::ReadFileBytes(log);
      return text.find(" I KT-Vistrand TCP Server Port: ", after) != std::string::npos &&
             text.find("Firewall testing passed...", after) != std::string::npos;
    }, 60s);
    port_ = LoggedPort(work_.path());
    WaitFor([&] { return (s = ConnectTerminal(port_, greeting)) >= 0; }, 30s);
    if (s >= 0) {
      EXPECT_EQ(greeting, kGreeting);
    }
    return s;
  }

  TempFolder work_{"proc_work"};
  TempFolder data_{"proc_data"};
  uint16_t port_ = 0;
  std::vector<pid_t> started_;
};

TEST_F(ServerProcessTest, FirstStartCreatesSettingsAndASecondInstanceEndsSilently) {
  const pid_t first = Start("first");
  const int terminal = WaitForTerminalService();
  ASSERT_GE(terminal, 0) << kt::test_support::ReadFileBytes(work_.path() / "first.outerr");
  ::close(terminal);

  // The settings table was created with the defaults (the port option is for this run only).
  data::GLOBALVARIABLE stored;
  ASSERT_TRUE(data::LoadSettings(work_.path(), stored).ok());
  EXPECT_EQ(stored.WCONFIGPORT(), 9101);
  EXPECT_EQ(stored.WCONFIGHARGAJUAL(), 0);
  EXPECT_EQ(stored.CCONFIGCOMCONN(), reply::DefaultComConn());
  EXPECT_EQ(stored.CCONFIGCOMOK(), reply::DefaultComOk());
  EXPECT_EQ(stored.CCONFIGCOMFAIL(), reply::DefaultComFail());
  const std::string out = (work_.path() / "ktdb.txt").string();
  const std::string cmd = std::string(KT_KTDB_BINARY) + " structure " + (work_.path() / "KTVISTRD.DAT").string() +
                          " > " + out + " 2>&1";
  EXPECT_EQ(std::system(cmd.c_str()), 0) << kt::test_support::ReadFileBytes(out);
  const std::string structure = kt::test_support::ReadFileBytes(out);
  for (const char* field : {"PORT", "FOLDER", "HARGA_JUAL", "COM_CONN", "COM_OK", "COM_FAIL"}) {
    EXPECT_NE(structure.find(field), std::string::npos) << field << "\n" << structure;
  }

  const pid_t second = Start("second");
  int status = -1;
  ASSERT_TRUE(WaitFor([&] { return ::waitpid(second, &status, WNOHANG) == second; }, 20s));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(kt::test_support::ReadFileBytes(work_.path() / "second.outerr").find("kt-vistrand-server"), std::string::npos)
      << "ends silently";
  EXPECT_EQ(::waitpid(first, &status, WNOHANG), 0) << "the first instance still runs";

  // Every line of the lists also went to the activity log.
  const std::string log = kt::test_support::ReadFileBytes(work_.path() / "KTVistrd.log");
  EXPECT_NE(log.find("Firewall testing passed..."), std::string::npos) << log;
  EXPECT_NE(log.find("Connection from 127.0.0.1"), std::string::npos) << log;
}

TEST_F(ServerProcessTest, FailureInASessionThreadLeavesOneReportAndANewInstance) {
  const pid_t first = Start("first");
  int probe = WaitForTerminalService();
  ASSERT_GE(probe, 0) << kt::test_support::ReadFileBytes(work_.path() / "first.outerr");
  ::close(probe);
  ASSERT_TRUE(WaitFor([&] { return kt::test_support::ReadFileBytes(work_.path() / "KTVistrd.log").find("terminated/lost") != std::string::npos; }, 10s));

  const std::set<int> before = Threads(first);
  std::string greeting;
  const int terminal = ConnectTerminal(port_, greeting);
  ASSERT_GE(terminal, 0);
  // The new session thread (the window's toolkit may start threads of its own meanwhile).
  std::set<int> added;
  ASSERT_TRUE(WaitFor([&] {
    added.clear();
    for (int tid : Threads(first)) {
      if (!before.count(tid) && ThreadName(first, tid) == "kt-session\n") added.insert(tid);
    }
    return !added.empty();
  }, 10s));
  ASSERT_EQ(added.size(), 1u) << "one session thread for the new terminal";
  // The session waits for its terminal's next line: fail it there, once it is blocked in its
  // read wait. Failed earlier, while it opens its tables, it may hold the allocator's lock, and
  // the report (which allocates) cannot be written; the watchdog then restarts without one.
  ASSERT_TRUE(WaitFor([&] { return BlockedInPoll(first, *added.begin()); }, 20s));
  const std::size_t log_before = kt::test_support::ReadFileBytes(work_.path() / "KTVistrd.log").size();
  ASSERT_EQ(::syscall(SYS_tgkill, first, *added.begin(), SIGSEGV), 0);

  int status = -1;
  ASSERT_TRUE(WaitFor([&] { return ::waitpid(first, &status, WNOHANG) == first; }, 20s));
  ::close(terminal);

  const std::string report = kt::test_support::ReadFileBytes(work_.path() / "ZKERROR.LOG");
  std::size_t reports = 0;
  for (std::size_t p = 0; (p = report.find(errlog::kReportRule, p)) != std::string::npos; ++p) ++reports;
  EXPECT_EQ(reports, 1u) << report << "\nexit status " << status;
  EXPECT_NE(report.find("Sub System       : SIGSEGV\r\n"), std::string::npos) << report;
  const std::size_t stack = report.find("Call Stack:\r\n");
  ASSERT_NE(stack, std::string::npos);
  const std::string frames = report.substr(stack);
  const std::size_t session = frames.find("SessionThread");
  ASSERT_NE(session, std::string::npos) << "the failing thread's stack is the session's\n" << report;
  EXPECT_EQ(frames.find("main"), frames.find("main", session)) << "no frame of another thread above it";

  // A new instance took over the folder and serves terminals again (on a port of its own).
  const int again = WaitForTerminalService(log_before);
  ASSERT_GE(again, 0) << "no new running instance";
  ::close(again);
  const auto running = ProcessesWith(work_.path().string());
  ASSERT_EQ(running.size(), 1u);
  EXPECT_NE(running.front(), first);
}

// A data folder that is not there at start (a share that mounts late): the window program turns
// terminals away while its error box waits for nobody, and serves them once the folder appears,
// without a restart.
TEST_F(ServerProcessTest, ADataFolderThatAppearsLaterIsServedWithoutARestart) {
  TempFolder late_parent("proc_late");
  const std::filesystem::path late = late_parent.path() / "late";
  const pid_t server = Start("late", 0, late.string() + "/");
  const auto log = work_.path() / "KTVistrd.log";
  ASSERT_TRUE(WaitFor([&] {
    const std::string text = kt::test_support::ReadFileBytes(log);
    return text.find(" I KT-Vistrand TCP Server Port: ") != std::string::npos &&
           text.find("Firewall testing passed...") != std::string::npos;
  }, 60s)) << kt::test_support::ReadFileBytes(work_.path() / "late.outerr");
  port_ = LoggedPort(work_.path());
  std::string greeting;
  EXPECT_LT(ConnectTerminal(port_, greeting), 0) << "served without a database";
  ASSERT_TRUE(WaitFor([&] {
    return kt::test_support::ReadFileBytes(log).find("turned away: database not open") != std::string::npos;
  }, 10s));

  ASSERT_TRUE(data::demo::WriteDemoDataSet(late, {.item_count = 10}).ok());
  int terminal = -1;
  ASSERT_TRUE(WaitFor([&] { return (terminal = ConnectTerminal(port_, greeting)) >= 0; }, 30s))
      << kt::test_support::ReadFileBytes(log);
  EXPECT_EQ(greeting, kGreeting);
  ::close(terminal);
  EXPECT_NE(kt::test_support::ReadFileBytes(log).find("Database opened: serving terminals"), std::string::npos);
  int status = 0;
  EXPECT_EQ(::waitpid(server, &status, WNOHANG), 0) << "still the first instance";
}

TEST(SlotFailureTest, ExceptionFromASlotIsReportedAndTheProgramRestarts) {
  TempFolder dir("slot_crash");
  pid_t pid = -1;
  std::vector<std::string> args = {KT_SLOT_CRASH_PROBE, dir.path().string()};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  ASSERT_EQ(::posix_spawn(&pid, KT_SLOT_CRASH_PROBE, nullptr, nullptr, argv.data(), environ), 0);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(dir.path() / "successor.txt"); }, 20s));

  const std::string report = kt::test_support::ReadFileBytes(dir.path() / "ZKERROR.LOG");
  EXPECT_NE(report.find("Description      : probe: list index 7 out of range\r\n"), std::string::npos) << report;
  EXPECT_NE(report.find("Sub Code Text    : std::out_of_range\r\n"), std::string::npos) << report;
  EXPECT_NE(report.find("Method Self      : QTimer\r\n"), std::string::npos) << report;
  EXPECT_NE(report.find("ServerApplication::notify"), std::string::npos) << report;
}

TEST_F(ServerProcessTest, TakenPortNeitherHangsTheStartNorStopsTheServerForGood) {
  // Another program listens on a port (bound as port 0, so it is ours); the server is told to
  // use it, and the other program's socket sees the server's probe.
  int other = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = 0;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(other, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  socklen_t len = sizeof a;
  ASSERT_EQ(::getsockname(other, reinterpret_cast<sockaddr*>(&a), &len), 0);
  ASSERT_EQ(::listen(other, 5), 0);
  timeval tv{20, 0};
  ::setsockopt(other, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);

  const pid_t server = Start("server", ntohs(a.sin_port));
  const int probe = ::accept(other, nullptr, nullptr);
  ASSERT_GE(probe, 0) << "the start went on to the self-test probe";
  ::setsockopt(probe, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  char text[64] = {};
  const ssize_t n = ::recv(probe, text, sizeof text - 1, MSG_WAITALL);
  EXPECT_EQ(n, 18);
  ::close(probe);
  ::close(other);  // the port is free again

  // The ten-second check binds again, passes the self-test and serves terminals.
  const int terminal = WaitForTerminalService();
  EXPECT_GE(terminal, 0) << kt::test_support::ReadFileBytes(work_.path() / "server.outerr");
  if (terminal >= 0) ::close(terminal);
  int status = 0;
  EXPECT_EQ(::waitpid(server, &status, WNOHANG), 0) << "still running";
}

}  // namespace
}  // namespace kt::ui
