// The headless log lines: timestamped on a terminal or in a file, journal-style when systemd
// connected standard output to the journal.
#include "server/app/stdout_sink.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>

#include "common/testing/os.h"

namespace kt::app {
namespace {

std::string Contents(std::FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string text;
  char buf[256];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
  return text;
}

std::string StreamId(std::FILE* f) {
  struct stat st {};
  EXPECT_EQ(fstat(fileno(f), &st), 0);
  return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

TEST(StdoutSinkTest, JournalIsRecognisedOnlyForTheStreamItNames) {
#ifdef _WIN32
  GTEST_SKIP() << "the systemd journal and inode numbers of open files are Linux only";
#endif
  std::FILE* journal = std::tmpfile();
  std::FILE* other = std::tmpfile();
  ASSERT_TRUE(journal && other);
  test_support::UnsetEnv("JOURNAL_STREAM");
  EXPECT_FALSE(StdoutIsJournal(journal));
  test_support::SetEnv("JOURNAL_STREAM", StreamId(journal).c_str());
  EXPECT_TRUE(StdoutIsJournal(journal));
  // A child whose output was redirected inherits the variable but not the stream.
  EXPECT_FALSE(StdoutIsJournal(other));
  for (const char* bad : {"", "12", "x:y", ":"}) {
    test_support::SetEnv("JOURNAL_STREAM", bad);
    EXPECT_FALSE(StdoutIsJournal(journal)) << bad;
  }
  test_support::UnsetEnv("JOURNAL_STREAM");
  std::fclose(journal);
  std::fclose(other);
}

TEST(StdoutSinkTest, JournalLinesCarryAPriorityInsteadOfATimestamp) {
  std::FILE* f = std::tmpfile();
  ASSERT_TRUE(f);
  {
    StdoutSink sink(f, StdoutSink::Style::kJournal);
    sink.Info("Started");
    sink.ScanInfo("127.0.0.1 Received Data: F\x01X");
    sink.ErrorBox("Gagal buke file S_KONTRO !");
  }
  EXPECT_EQ(Contents(f),
            "<6>info: Started\n"
            "<6>scan: 127.0.0.1 Received Data: F\\x01X\n"
            "<3>error: Gagal buke file S_KONTRO !\n");
  std::fclose(f);

  std::FILE* g = std::tmpfile();
  ASSERT_TRUE(g);
  StdoutSink(g).ErrorBox("x");
  EXPECT_TRUE(std::regex_match(Contents(g), std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} error: x\n)")));
  std::fclose(g);
}

}  // namespace
}  // namespace kt::app
