#include "common/net/line_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kt::net {
namespace {

std::vector<std::string> Drain(LineReader& r) {
  std::vector<std::string> out;
  while (auto l = r.Next()) out.push_back(*l);
  return out;
}

TEST(LineReader, SplitsAtCrLfAndCrLfGivesAnEmptyLine) {
  struct Case {
    const char* name;
    std::string input;
    std::vector<std::string> lines;
    std::string pending;
  } cases[] = {
      {"cr", "F123\rF456\r", {"F123", "F456"}, ""},
      {"lf", "F123\nF456\n", {"F123", "F456"}, ""},
      {"crlf", "F123\r\nF456\r\n", {"F123", "", "F456", ""}, ""},
      {"unfinished", "F123\rF4", {"F123"}, "F4"},
      {"empty lines", "\r\r", {"", ""}, ""},
  };
  for (const auto& c : cases) {
    LineReader r;
    r.Feed(c.input);
    EXPECT_EQ(Drain(r), c.lines) << c.name;
    EXPECT_EQ(r.pending(), c.pending) << c.name;
  }
}

TEST(LineReader, ByteByByteFeedingGivesTheSameLines) {
  LineReader r;
  for (char ch : std::string("AB\rCD\nE")) r.Feed(std::string_view(&ch, 1));
  EXPECT_EQ(Drain(r), (std::vector<std::string>{"AB", "CD"}));
  EXPECT_EQ(r.TakePending(), "E");
  EXPECT_EQ(r.pending(), "");
}

TEST(LineReader, OverlongLineIsCutAndItsRestDropped) {
  LineReader r(8);
  r.Feed("0123456789ABCDEF");  // no end yet: the first 8 bytes come out, the rest is dropped
  EXPECT_EQ(Drain(r), (std::vector<std::string>{"01234567"}));
  r.Feed(std::string(100000, 'x'));
  EXPECT_TRUE(r.pending().empty());
  r.Feed("\rnext\r");
  EXPECT_EQ(Drain(r), (std::vector<std::string>{"next"}));
  EXPECT_EQ(r.lines_cut(), 1u);
}

}  // namespace
}  // namespace kt::net
