// The command-line rules every program keeps, checked on the real programs as processes:
// --help on standard output with exit 0 and without a display, --version, usage errors as one
// "program: message" line with exit 2, failures with exit 1, and every command and option named
// in the help.
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/testing/files.h"
#include "common/version.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct ProcessRun {
  int code = -1;
  std::string out, err;
};

// Runs `program` with `args`, standard output and error to files, no display in the environment.
ProcessRun Exec(const std::string& program, const std::vector<std::string>& args) {
  static int serial = 0;
  const fs::path dir = fs::temp_directory_path() /
                       ("kt_programs_cli_" + std::to_string(getpid()) + "_" + std::to_string(++serial));
  fs::create_directories(dir);
  const fs::path out = dir / "out", err = dir / "err";

  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string var = *e;
    if (var.rfind("DISPLAY=", 0) == 0 || var.rfind("WAYLAND_DISPLAY=", 0) == 0 ||
        var.rfind("QT_QPA_PLATFORM=", 0) == 0 || var.rfind("KT_VISTRAND_", 0) == 0) {
      continue;
    }
    env.push_back(var);
  }
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> argv_text = {program};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = 0;
  ProcessRun r;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  r.out = kt::test_support::ReadFileBytes(out);
  r.err = kt::test_support::ReadFileBytes(err);
  fs::remove_all(dir);
  return r;
}

std::string Name(const std::string& path) { return fs::path(path).filename().string(); }

struct Program {
  std::string path;
  std::vector<std::string> listed;         // commands and options the help must name
  std::vector<std::string> bad_value;      // a usage error in a value
  std::vector<std::string> subcommand;     // "COMMAND --help" shows that command's options
  std::string subcommand_option;
};

std::vector<Program> Programs() {
  return {
      {KT_SERVER_EXE,
       {"--headless", "--workdir", "--port", "--data", "--bind", "--no-restart", "--max-sessions", "--help",
        "--version",
        "KT_VISTRAND_DATA", "KT_VISTRAND_PORT"},
       {"--headless", "--port", "70000"},
       {},
       ""},
      {KT_KTDB_EXE,
       {"structure", "tags", "seek", "walk", "get", "create-demo", "--keys", "--soft", "--type", "--stats",
        "--bottom", "--count", "--items", "TABLE", "RECNO", "check", "--force"},
       {"walk", "T.G8A", "TAG", "--count", "-3"},
       {"seek", "--help"},
       "--keys"},
      {KT_LOOKUP_EXE,
       {"--data", "--level", "--at", "CODE", "--render", "--workdir"},
       {"--data", "/nowhere", "--level", "6", "AQ600"},
       {},
       ""},
      {KT_KX25CTL_EXE,
       {"scan", "show", "save", "apply", "--to", "--bind", "--port", "--seconds", "--rs232", "--marlo",
        "--pause-ms", "--all", "--no-rescan", "terminal", "firmware", "--respond", "--hex", "--codepage",
        "--tftp-port", "--tftp-client", "--limit-seconds"},
       {"scan", "--to", "300.1.1.1"},
       {"apply", "--help"},
       "ARGS"},
      {KT_KX25SIM_EXE,
       {"connect", "terminals", "--host", "--port", "--source", "--prefix", "--raw", "--file", "--stdin",
        "--reply-timeout", "--quiet", "--terminals", "--scans", "--interval", "--spread-addresses", "--count",
        "--listen", "--firmware", "--record-version", "--name-prefix", "--first-ip", "--reply-broadcast",
        "--seconds", "--tcp-server", "--scans-stdin", "--scan-interval", "--tftp", "--tftp-port",
        "--tftp-refuse"},
       {"terminals", "--listen", "127.0.0.1:99999"},
       {"terminals", "--help"},
       "--reply-broadcast"},
#ifdef KT_KX25CONFIG_EXE
      {KT_KX25CONFIG_EXE, {"MODE", "MARLO", "RS232", "SEARCHONLY", "KX25_DISCOVERY_TO", "KX25_TFTP_PORT"},
       {"MARLO", "RS232"},
       {},
       ""},
#endif
  };
}

TEST(ProgramsCliTest, HelpIsOnStandardOutputWithoutADisplayAndNamesEverything) {
  for (const Program& p : Programs()) {
    const std::string name = Name(p.path);
    const ProcessRun r = Exec(p.path, {"--help"});
    EXPECT_EQ(r.code, 0) << name << "\n" << r.err;
    EXPECT_EQ(r.err, "") << name;
    EXPECT_EQ(r.out.rfind("usage: " + name, 0), 0u) << r.out;
    for (const std::string& word : p.listed) {
      EXPECT_NE(r.out.find(word), std::string::npos) << name << " --help does not name " << word << "\n" << r.out;
    }
    EXPECT_EQ(Exec(p.path, {"-h"}).out, r.out) << name;
    if (!p.subcommand.empty()) {
      const ProcessRun sub = Exec(p.path, p.subcommand);
      EXPECT_EQ(sub.code, 0) << name;
      EXPECT_NE(sub.out.find(p.subcommand_option), std::string::npos) << sub.out;
    }
  }
}

TEST(ProgramsCliTest, VersionIsTheProjectVersion) {
  for (const Program& p : Programs()) {
    const ProcessRun r = Exec(p.path, {"--version"});
    EXPECT_EQ(r.code, 0) << p.path;
    EXPECT_EQ(r.out, Name(p.path) + " " + KT_VERSION_STRING + "\n");
    EXPECT_EQ(r.err, "");
  }
}

TEST(ProgramsCliTest, UsageErrorsAreOneNamedLineAndExitTwo) {
  for (const Program& p : Programs()) {
    const std::string name = Name(p.path);
    for (const auto& args : {std::vector<std::string>{"--no-such-option"}, p.bad_value}) {
      const ProcessRun r = Exec(p.path, args);
      EXPECT_EQ(r.code, 2) << name << " " << args.front() << "\n" << r.out << r.err;
      EXPECT_EQ(r.out, "") << name;
      EXPECT_EQ(r.err.rfind(name + ": ", 0), 0u) << r.err;
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
  }
}

TEST(ProgramsCliTest, FailuresAreNamedAndExitOne) {
  // A local TCP port that is bound but not listening: connecting to it is refused at once.
  const int sock = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(sock, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  socklen_t len = sizeof a;
  ASSERT_EQ(getsockname(sock, reinterpret_cast<sockaddr*>(&a), &len), 0);
  const std::string refused_port = std::to_string(ntohs(a.sin_port));

  const fs::path missing = fs::temp_directory_path() / ("kt_no_such_folder_" + std::to_string(getpid()));
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {KT_SERVER_EXE, {"--headless", "--workdir", (missing / "work").string(), "--port", "0", "--bind", "127.0.0.1"}},
      {KT_KTDB_EXE, {"structure", (missing / "S_STOCK.G8A").string()}},
      {KT_KX25CTL_EXE, {"show", "02-4B-58-00-00-01", "--seconds", "1", "--bind", "127.0.0.1", "--to", "127.0.0.1:" + refused_port}},
      {KT_KX25SIM_EXE, {"--port", refused_port, "--reply-timeout", "1000", "AQ600"}},
  };
  for (const auto& [path, args] : cases) {
    const ProcessRun r = Exec(path, args);
    EXPECT_EQ(r.code, 1) << path << "\n" << r.out << r.err;
    EXPECT_EQ(r.err.rfind(Name(path) + ": ", 0), 0u) << r.err;
  }
  close(sock);
}

}  // namespace
