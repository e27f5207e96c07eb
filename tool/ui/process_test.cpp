// kx25config as a process: what it prints for --version, and that a malformed discovery
// destination or TFTP port stops it before any window opens (never a broadcast by mistake).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {

std::string RunProgram(const std::string& env, const std::string& args, int* code) {
  const std::string cmd = env + " QT_QPA_PLATFORM=offscreen " KX25CONFIG_BINARY " " + args + " 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  std::string out;
  char buf[512];
  while (std::size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  const int status = pclose(p);
  *code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return out;
}

TEST(Kx25ConfigProgram, VersionIsTheProjectVersion) {
  int code = -1;
  EXPECT_EQ(RunProgram("", "--version", &code), std::string("kx25config ") + KX25_VERSION + "\n");
  EXPECT_EQ(code, 0);
}

TEST(Kx25ConfigProgram, MalformedEnvironmentStopsBeforeAnyWindow) {
  struct Case {
    const char* env;
    const char* message;
  };
  const Case cases[] = {
      {"KX25_DISCOVERY_TO=127.0.0.1:99999", "KX25_DISCOVERY_TO"},
      {"KX25_DISCOVERY_TO=broadcast", "KX25_DISCOVERY_TO"},
      {"KX25_TFTP_PORT=69x", "KX25_TFTP_PORT"},
  };
  for (const Case& c : cases) {
    int code = -1;
    const std::string out = RunProgram(c.env, "", &code);
    EXPECT_EQ(code, 2) << c.env;
    EXPECT_NE(out.find(c.message), std::string::npos) << out;
  }
}

}  // namespace
