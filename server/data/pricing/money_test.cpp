#include "server/data/pricing/money.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

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

// Every amount with three decimals ending in 5, read from its decimal text as a table field is,
// must round up in the last place, whatever binary value the text became.
TEST(RoundHalfAway, EveryDecimalHalfInARange) {
  int wrong = 0;
  for (long long k = 0; k < 100000; ++k) {
    for (const long long base : {0LL, 99000000LL}) {  // small amounts and amounts near a million
      const long long thousandths = (base + k) * 10 + 5;
      char text[40];
      std::snprintf(text, sizeof text, "%lld.%03lld", thousandths / 1000, thousandths % 1000);
      const double value = std::strtod(text, nullptr);
      const long long cents = (thousandths + 5) / 10;
      char expected[40];
      std::snprintf(expected, sizeof expected, "%lld.%02lld", cents / 100, cents % 100);
      if (FormatDecimal(value, 2, '.', '\0') != expected || FormatDecimal(-value, 2, '.', '\0') != "-" + std::string(expected)) {
        if (++wrong < 5) ADD_FAILURE() << text << " gave " << FormatDecimal(value, 2, '.', '\0');
      }
    }
  }
  EXPECT_EQ(wrong, 0);
}

// Discounts computed as amount x percent / 100 land on halves; they must round up as well.
TEST(RoundHalfAway, ComputedPercentagesOnHalves) {
  int wrong = 0;
  for (long long amount = 0; amount < 200000; ++amount) {
    // amount x 15% has two decimals; rounded at one decimal, a final 5 goes up.
    const long long hundredths = amount * 15;
    const long long tenths = (hundredths + 5) / 10;
    char expected[40];
    std::snprintf(expected, sizeof expected, "%lld.%lld", tenths / 10, tenths % 10);
    const double discount = static_cast<double>(amount) * 15 / 100;
    if (FormatDecimal(discount, 1, '.', '\0') != expected) {
      if (++wrong < 5) ADD_FAILURE() << amount << " x 15% gave " << FormatDecimal(discount, 1, '.', '\0');
    }
  }
  EXPECT_EQ(wrong, 0);
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
