#include "server/data/pricing/money.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace kt::data::pricing {
namespace {

struct RoundCase {
  double value;
  int decimals;
  double expected;
};

TEST(RoundHalfAway, ExactHalvesGoAwayFromZero) {
  const RoundCase cases[] = {
      {0.5, 0, 1},          {-0.5, 0, -1},        {1.5, 0, 2},          {2.5, 0, 3},
      {12345.5, 0, 12346},  {1234.4999, 0, 1234}, {0.125, 2, 0.13},     {-0.125, 2, -0.13},
      // Decimal halves a hair below .5 in binary:
      {1.005, 2, 1.01},     {2.675, 2, 2.68},     {-2.675, 2, -2.68},   {1.015, 2, 1.02},
      {8.345, 2, 8.35},     {0.045, 2, 0.05},     {1234.565, 2, 1234.57}, {0.35, 1, 0.4},
      // Results of arithmetic that land on a half:
      {12345.0 * 10 / 100, 0, 1235}, {0.1 + 0.2, 1, 0.3}, {100000.0 / 3 * 3, 0, 100000},
      {1234.56 * 3, 2, 3703.68},
      // Not halves: nothing is pushed over.
      {2.4999, 0, 2},       {0.0049, 2, 0},       {999999999.994, 2, 999999999.99},
  };
  for (const RoundCase& c : cases) {
    EXPECT_DOUBLE_EQ(RoundHalfAway(c.value, c.decimals), c.expected) << c.value << " @" << c.decimals;
  }
}

TEST(RoundHalfAway, EdgeValues) {
  EXPECT_EQ(RoundHalfAway(std::numeric_limits<double>::quiet_NaN(), 2), 0.0);
  EXPECT_EQ(RoundHalfAway(std::numeric_limits<double>::infinity(), 2), 0.0);
  EXPECT_FALSE(std::signbit(RoundHalfAway(-0.004, 2)));  // never a negative zero
  EXPECT_EQ(RoundHalfAway(1e20, 2), 1e20);                 // nothing left to round
  EXPECT_DOUBLE_EQ(RoundHalfAway(1.23456, 30), 1.23456);   // decimals clamped to 15
  // Large amounts: the nudge never adds a unit.
  EXPECT_EQ(RoundHalfAway(1234567890123.0, 2), 1234567890123.0);
  EXPECT_EQ(RoundHalfAway(123456789012345.0, 0), 123456789012345.0);
  EXPECT_EQ(RoundHalfAway(123456789012345.5, 0), 123456789012346.0);
  EXPECT_DOUBLE_EQ(RoundHalfAway(7.5, -3), 8);
}

TEST(FormatDecimal, GroupsAndSeparators) {
  struct Case {
    double value;
    int decimals;
    char dec;
    char group;
    const char* expected;
  } const cases[] = {
      {12500, 0, ',', '.', "12.500"},
      {1234567.891, 2, ',', '.', "1.234.567,89"},
      {999, 0, ',', '.', "999"},
      {1000, 1, ',', '.', "1.000,0"},
      {0.05, 2, ',', '.', "0,05"},
      {-12500, 0, ',', '.', "-12.500"},
      {-0.001, 2, ',', '.', "0,00"},
      {2.675, 2, '.', '\0', "2.68"},
      {123456789012.5, 0, ',', '.', "123.456.789.013"},
      {1e20, 0, ',', '.', "100.000.000.000.000.000.000"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatDecimal(c.value, c.decimals, c.dec, c.group), c.expected) << c.value;
  }
  EXPECT_EQ(IntegerDigits(999999999.995, 2), 10);
  EXPECT_EQ(IntegerDigits(0.4, 0), 1);
  EXPECT_EQ(IntegerDigits(-12345, 2), 5);
}

TEST(ParseLeadingNumber, ReadsLikeVal) {
  struct Case {
    const char* text;
    double expected;
  } const cases[] = {
      {"345.00", 345},  {"  -12.5x", -12.5}, {"0.34", 0.34}, {".5", 0.5},   {"-.5", -0.5},
      {"7.", 7},        {"**.**", 0},        {"", 0},        {"  ", 0},     {"1.2.3", 1.2},
      {"+4", 4},        {"12 34", 12},
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(ParseLeadingNumber(c.text), c.expected) << c.text;
}

TEST(WholePart, CountsNearWholeValuesAsWhole) {
  EXPECT_EQ(WholePart(3.6 / 1.2), 3);
  EXPECT_EQ(WholePart(2.9), 2);
  EXPECT_EQ(WholePart(-2.5), -2);
  EXPECT_EQ(WholePart(0.999), 0);
  EXPECT_EQ(WholePart(30.0 / 12), 2);
}

}  // namespace
}  // namespace kt::data::pricing
