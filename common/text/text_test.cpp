#include "common/text/text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace kt::text {
namespace {

TEST(UpperAscii, OnlyAsciiLettersChange) {
  EXPECT_EQ(UpperAscii("stock.g8a Kode_1 [z]"), "STOCK.G8A KODE_1 [Z]");
  // 8-bit letters and UTF-8 stay as they are: keys compare byte for byte.
  EXPECT_EQ(UpperAscii("\xE9t\xC3\xA9"), "\xE9T\xC3\xA9");
  EXPECT_EQ(UpperAscii(std::string("a\0b", 3)), std::string("A\0B", 3));
  EXPECT_EQ(UpperAscii('`'), '`');
  EXPECT_EQ(UpperAscii('{'), '{');
}

TEST(Trim, EachSetTrimsOnlyItsCharacters) {
  struct Case {
    std::string in;
    std::string_view blanks;
    std::string left, right, both;
  };
  const std::string nul(1, '\0');
  const Case cases[] = {
      {"", kBlank, "", "", ""},
      {"   ", kBlank, "", "", ""},
      {"  a b  ", kBlank, "a b  ", "  a b", "a b"},
      {"\ta\t", kBlank, "\ta\t", "\ta\t", "\ta\t"},  // a tab is not a blank of a field
      {nul + " 12 " + nul, kBlank, nul + " 12 " + nul, nul + " 12 " + nul, nul + " 12 " + nul},
      {nul + " 12 " + nul, kBlankOrNul, "12 " + nul, nul + " 12", "12"},
      {" \t\r\n", kWhitespace, "", "", ""},
      {"\r\n x \r\n", kWhitespace, "x \r\n", "\r\n x", "x"},
      {" \x01 ", kWhitespace, "\x01 ", " \x01", "\x01"},
      // Long runs, as in wide stored fields, across every eight-byte boundary.
      {std::string(16, ' '), kBlank, "", "", ""},
      {std::string(17, ' ') + "x" + std::string(9, ' '), kBlank, "x" + std::string(9, ' '), std::string(17, ' ') + "x", "x"},
      {"x" + std::string(8, ' ') + "y" + std::string(15, ' '), kBlank, "x" + std::string(8, ' ') + "y" + std::string(15, ' '),
       "x" + std::string(8, ' ') + "y", "x" + std::string(8, ' ') + "y"},
      {std::string(8, ' ') + nul + std::string(7, ' '), kBlank, nul + std::string(7, ' '), std::string(8, ' ') + nul, nul},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TrimLeft(c.in, c.blanks), c.left) << '"' << c.in << '"';
    EXPECT_EQ(TrimRight(c.in, c.blanks), c.right) << '"' << c.in << '"';
    EXPECT_EQ(Trim(c.in, c.blanks), c.both) << '"' << c.in << '"';
    EXPECT_EQ(IsBlank(c.in, c.blanks), c.both.empty()) << '"' << c.in << '"';
  }
}

TEST(LeadingNumber, ReadsLikeVal) {
  struct Case {
    std::string_view text;
    double expected;
  };
  const Case cases[] = {
      {"", 0},          {"abc", 0},        {"12", 12},          {"  12", 12},
      {"12abc", 12},    {"-3.5", -3.5},    {"+2.25", 2.25},     {".5", 0.5},
      {"-.5", -0.5},    {"5.", 5},         {"1.2.3", 1.2},      {"1,5", 1},
      {"1e5", 1},       {"0x10", 0},       {"-", 0},            {".", 0},
      {"- 5", 0},       {"\t5", 0},        {"+-5", 0},          {"--5", 0},
      {"inf", 0},       {"-inf", 0},       {"nan", 0},          {"00012.500", 12.5},
      {"2.5", 2.5},  // "." is the point whatever the locale
  };
  for (const Case& c : cases) EXPECT_EQ(LeadingNumber(c.text), c.expected) << '"' << c.text << '"';
  EXPECT_EQ(LeadingNumber(std::string(400, '9')), 0);  // out of range reads as no number
}

TEST(ParseInteger, WholeTextInRange) {
  struct Case {
    std::string_view text;
    long long lo, hi;
    int base;
    std::optional<long long> strict, lenient;  // lenient only for base 10
  };
  const long long max = std::numeric_limits<long long>::max();
  const Case cases[] = {
      {"8080", 1, 65535, 10, 8080, 8080},
      {"1", 1, 65535, 10, 1, 1},
      {"65535", 1, 65535, 10, 65535, 65535},
      {"65536", 1, 65535, 10, std::nullopt, std::nullopt},
      {"0", 1, 65535, 10, std::nullopt, std::nullopt},
      {"0", 0, 65535, 10, 0, 0},
      {"-1", -5, 5, 10, -1, -1},
      {"-1", 0, 5, 10, std::nullopt, std::nullopt},
      {"", 0, 5, 10, std::nullopt, std::nullopt},
      {"   ", 0, 5, 10, std::nullopt, std::nullopt},
      {" 3", 0, 5, 10, std::nullopt, 3},
      {"\t\n3", 0, 5, 10, std::nullopt, 3},
      {"+3", 0, 5, 10, std::nullopt, 3},
      {"+-3", -5, 5, 10, std::nullopt, std::nullopt},
      {"++3", 0, 5, 10, std::nullopt, std::nullopt},
      {"+", 0, 5, 10, std::nullopt, std::nullopt},
      {"3 ", 0, 5, 10, std::nullopt, std::nullopt},
      {"3x", 0, 5, 10, std::nullopt, std::nullopt},
      {"3.0", 0, 5, 10, std::nullopt, std::nullopt},
      {"99999999999999999999", 0, max, 10, std::nullopt, std::nullopt},
      {"010200C0", 0, 0xFFFFFFFF, 16, 0x010200C0, std::nullopt},
      {"ffffffff", 0, 0xFFFFFFFF, 16, 0xFFFFFFFF, std::nullopt},
      {"100000000", 0, 0xFFFFFFFF, 16, std::nullopt, std::nullopt},
      {"0x10", 0, 0xFFFFFFFF, 16, std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseInteger(c.text, c.lo, c.hi, c.base), c.strict) << '"' << c.text << '"';
    if (c.base == 10) {
      EXPECT_EQ(ParseIntegerLenient(c.text, c.lo, c.hi), c.lenient) << '"' << c.text << '"';
    }
  }
}

}  // namespace
}  // namespace kt::text
