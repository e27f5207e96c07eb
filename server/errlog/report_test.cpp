#include "server/errlog/report.h"

#include <gtest/gtest.h>

#include "common/testing/files.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

#include "server/errlog/crash_handler.h"
#include "server/errlog/os_version.h"
#include "server/errlog/restart_guard.h"
#include "server/errlog/startup_checks.h"

namespace kt::errlog {
namespace {

TEST(ReportTest, LayoutIsExact) {
  CallStack stack;
  stack.Add("/src/server/net/session.cpp", "kt::net::Session::Serve()", 120);
  stack.Add(nullptr, "start_thread", 0);
  ErrorRecord r;
  r.description = "boom";
  r.sub_code = "11";
  r.func_ptr = "0x10  16";
  r.can_retry = true;
  r.tries = 2;
  r.stack = &stack;
  ReportHeader h{"KT-Vistrand TCP Server, Build: 3", "notice", "Linux 6.1 (x86_64), Build: #1",
                 "09/12/2026 23:59:58"};
  static ReportBuffer out;
  FormatReport(h, r, out);
  const std::string expected =
      "************************* ERROR *************************\r\n"
      "KT-Vistrand TCP Server, Build: 3\r\n"
      "notice\r\n"
      "Linux 6.1 (x86_64), Build: #1\r\n"
      "09/12/2026 23:59:58\r\n"
      "\r\n"
      "Error message:\r\n"
      "--------------\r\n"
      "Argument         : \r\n"
      "Argument Number  : \r\n"
      "Argument Type    : \r\n"
      "Arg Type Required: \r\n"
      "Call Func Sym    : \r\n"
      "Description      : boom\r\n"
      "DOS Error        : \r\n"
      "Sub Code         : 11\r\n"
      "Sub Code Text    : \r\n"
      "Sub System       : \r\n"
      "Generated Code   : \r\n"
      "Operation        : \r\n"
      "File Handle      : \r\n"
      "File Name        : \r\n"
      "Func PTR         : 0x10  16\r\n"
      "Func Symbol      : \r\n"
      "Maximum Size     : \r\n"
      "Method Self      : \r\n"
      "Call Stack:\r\n"
      "   - session.cpp             : kt::net::Session::Serve() (Line: 120)\r\n"
      "   -                         : start_thread (Line: 0)\r\n"
      "Can Default      : No\r\n"
      "Can Retry        : Yes\r\n"
      "Tries            : 2\r\n";
  EXPECT_EQ(std::string(out.view()), expected);
  EXPECT_FALSE(out.truncated());
}

TEST(ReportTest, OverlongInputIsCutNotOverrun) {
  static ReportBuffer out;
  std::string huge(ReportBuffer::kCapacity * 2, 'x');
  ErrorRecord r;
  r.description = huge;
  FormatReport({}, r, out);
  EXPECT_TRUE(out.truncated());
  EXPECT_EQ(out.view().size(), ReportBuffer::kCapacity);

  CallStack stack;
  for (std::size_t i = 0; i < kMaxStackFrames + 5; ++i) stack.Add(huge.c_str(), huge.c_str(), 1);
  EXPECT_EQ(stack.size, kMaxStackFrames);
  EXPECT_EQ(std::string(stack.frames[0].function).size(), sizeof(stack.frames[0].function) - 1);
}

TEST(ReportTest, TimeAndNumbers) {
  char when[20];
  FormatReportTime(2026, 3, 7, 5, 4, 9, when);
  EXPECT_STREQ(when, "07/03/2026 05:04:09");
  static ReportBuffer out;
  out.AppendDecimal(INT64_MIN);
  out.Append(" ");
  out.AppendHex(0xbeef);
  EXPECT_EQ(out.view(), "-9223372036854775808 0xbeef");
}

TEST(ReportTest, LogAccumulatesNewestLastWithThreeEmptyLinesBetween) {
  auto dir = std::filesystem::temp_directory_path() / ("errlog_log_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  auto path = dir / "ZKERROR.LOG";
  std::filesystem::remove(path);
  ASSERT_TRUE(AppendReportToLog(path.string().c_str(), "first\r\n"));
  ASSERT_TRUE(AppendReportToLog(path.string().c_str(), "second\r\n"));
  EXPECT_EQ(kt::test_support::ReadFileBytes(path), "first\r\n\r\n\r\n\r\nsecond\r\n");
  EXPECT_FALSE(AppendReportToLog((dir / "missing" / "ZKERROR.LOG").string().c_str(), "x"));
  std::filesystem::remove_all(dir);
}

TEST(ReportTest, StackOfTheCallerComesFirst) {
  static CallStack stack;
  CaptureStack(stack);
  ASSERT_GT(stack.size, 0u);
  EXPECT_NE(std::string(stack.frames[0].function).find("StackOfTheCallerComesFirst"), std::string::npos)
      << stack.frames[0].function;
  EXPECT_STREQ(stack.frames[0].file, "report_test.cpp");
  EXPECT_GT(stack.frames[0].line, 0);
}

TEST(StartupChecksTest, NumberFormatProbeIsTenPlainDigits) {
  EXPECT_EQ(PlainNumberText(kNumberFormatProbe), "4143442847");
  EXPECT_TRUE(NumberFormatAcceptable());
  EXPECT_FALSE(OsVersionLine().empty());
}

TEST(RestartGuardTest, Decisions) {
  using std::chrono::seconds;
  struct Case {
    int chain;
    seconds uptime;
    bool restart;
    int next;
  } cases[] = {
      {0, seconds(1), true, 1},     // first quick failure
      {2, seconds(1), true, 3},     // still within the allowance
      {3, seconds(1), false, 4},    // one more quick failure: stop
      {3, seconds(31), true, 0},    // ran long enough: the count starts again
      {0, seconds(3600), true, 0},  // an ordinary failure after a long run
  };
  for (const Case& c : cases) {
    RestartDecision d = DecideRestart(c.chain, c.uptime);
    EXPECT_EQ(d.restart, c.restart) << c.chain << " " << c.uptime.count();
    EXPECT_EQ(d.next_chain, c.next) << c.chain << " " << c.uptime.count();
  }
}

void SetVariable(const char* name, const char* value) {
#ifdef _WIN32
  _putenv_s(name, value);
#else
  ::setenv(name, value, 1);
#endif
}

void UnsetVariable(const char* name) {
#ifdef _WIN32
  _putenv_s(name, "");  // an empty value removes the variable there
#else
  ::unsetenv(name);
#endif
}

TEST(RestartGuardTest, ChainFromEnvironment) {
  UnsetVariable(kRestartChainVariable);
  EXPECT_FALSE(RestartChainFromEnvironment().has_value());
  for (auto [text, value] : {std::pair{"2", 2}, {"", 0}, {"x1", 0}, {"-4", 0}, {"3z", 0}}) {
#ifdef _WIN32
    if (*text == '\0') continue;  // Windows has no empty variables: setting one removes it
#endif
    SetVariable(kRestartChainVariable, text);
    EXPECT_EQ(RestartChainFromEnvironment(), value) << text;
  }
  UnsetVariable(kRestartChainVariable);
}

}  // namespace
}  // namespace kt::errlog
