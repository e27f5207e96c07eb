#include "server/data/code_key.h"

#include <gtest/gtest.h>

#include "common/testing/comma_locale.h"


namespace kt::data {
namespace {

TEST(CodeKey, ClearTextAsSuffixOrEverywhere) {
  struct Case {
    const char* code;
    const char* clear;
    bool everywhere;
    const char* expected;
  } cases[] = {
      {"12#", "#", false, "12"},   {"1#2", "#", false, "1#2"}, {"1#2", "#", true, "12"},
      {"#1#2#", "#", true, "12"},  {"12##", "#", false, "12#"}, {"12XY", "XY", false, "12"},
      {"XY12XY", "XY", true, "12"}, {"12", "", true, "12"},      {"#", "#", false, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ApplyClearText(c.code, c.clear, c.everywhere), c.expected)
        << c.code << " clear " << c.clear << " everywhere " << c.everywhere;
  }
}

TEST(CodeKey, QuantityPrefix) {
  struct Case {
    const char* code;
    const char* expected_code;
    double expected_quantity;
  } cases[] = {
      {"3*ABC", "ABC", 3},   {"-2+ABC", "ABC", 2},   {"X*ABC", "ABC", 1},  {"ABC", "ABC", 1},
      {"ABC+", "", 1},       {"2.5*ABC", "ABC", 2.5}, {"2+3*ABC", "3*ABC", 2},  // "+" before "*"
      {"0*ABC", "ABC", 1},   {"+ABC", "ABC", 1},     {"12abc*X", "X", 12},
  };
  for (const Case& c : cases) {
    const QuantitySplit split = SplitQuantity(c.code);
    EXPECT_EQ(split.code, c.expected_code) << c.code;
    EXPECT_DOUBLE_EQ(ScanQuantity(split.quantity_text, std::nullopt), c.expected_quantity) << c.code;
  }
}

TEST(CodeKey, QuantityIgnoresTheMachineLocale) {
  kt::test_support::CommaLocale locale;
  if (!locale.active()) GTEST_SKIP() << "no locale with a decimal comma available";
  const std::pair<const char*, double> cases[] = {{"2.5", 2.5}, {"+1.25", 1.25}, {"-0.5", 0.5}, {"2,5", 2}};
  for (const auto& [text, expected] : cases) {
    EXPECT_DOUBLE_EQ(ScanQuantity(std::string(text), std::nullopt), expected) << text;
  }
}

TEST(CodeKey, GivenQuantityOnlyWithoutPrefix) {
  EXPECT_DOUBLE_EQ(ScanQuantity(std::nullopt, 4.0), 4.0);
  EXPECT_DOUBLE_EQ(ScanQuantity(std::nullopt, 0.0), 1.0);
  EXPECT_DOUBLE_EQ(ScanQuantity(std::string("5"), 4.0), 5.0);
  EXPECT_DOUBLE_EQ(ScanQuantity(std::string("junk"), 4.0), 1.0);
}

TEST(CodeKey, PadKeyUppercasesPadsAndCuts) {
  EXPECT_EQ(PadKey("abc", 6), "ABC   ");
  EXPECT_EQ(PadKey("abcdefgh", 5), "ABCDE");
  EXPECT_EQ(PadKey("", 3), "   ");
  EXPECT_EQ(PadKey("xyz", 0), "");
}

TEST(CodeKey, QuantityPictureRounding) {
  EXPECT_EQ(PictureDecimals("999,999.99"), 2);
  EXPECT_EQ(PictureDecimals("999,999"), 0);
  EXPECT_DOUBLE_EQ(RoundToPicture(2.456, "999,999.99"), 2.46);
  EXPECT_DOUBLE_EQ(RoundToPicture(2.5, "999,999"), 3);
  EXPECT_DOUBLE_EQ(RoundToPicture(2.25, "999.9"), 2.3);
}


}  // namespace
}  // namespace kt::data
