#include "server/net/code_filter.h"

#include <gtest/gtest.h>

namespace kt::net {
namespace {

TEST(CodeFilter, DropsTheFirstCharacterAndKeepsDigitsAndLetters) {
  struct Case {
    std::string line, code;
  } cases[] = {
      {"F8991234567890", "8991234567890"},   // prefix letter before an EAN-13
      {"F", ""},                             // one character: nothing left
      {"", ""},
      {"X 12-34.5\r", "12345"},             // blank, hyphen, full stop and CR go
      {"X3*ABC", "3ABC"},                    // "*" and "+" go as well
      {"Xa[\\]^_`z{|}~", "a[\\]^_`z"},       // 0x41-0x7A kept, bytes above 0x7A dropped
      {std::string("X1\x00\x1b\xff" "2", 6), "12"},  // control and high bytes dropped
      {"0123", "123"},                       // the first character goes even when a digit
  };
  for (const auto& c : cases) EXPECT_EQ(FilterCode(c.line), c.code) << c.line;
}

TEST(CodeFilter, BlankLinesAreOnlyBlanksTabsCrLf) {
  EXPECT_TRUE(IsBlankLine(""));
  EXPECT_TRUE(IsBlankLine(" \t\r\n"));
  EXPECT_FALSE(IsBlankLine(" x "));
  EXPECT_FALSE(IsBlankLine(std::string(1, '\0')));
}

TEST(CodeFilter, TimeOfDayIsHhMmSs) {
  const std::string t = TimeOfDayText();
  ASSERT_EQ(t.size(), 8u);
  EXPECT_EQ(t[2], ':');
  EXPECT_EQ(t[5], ':');
}

}  // namespace
}  // namespace kt::net
