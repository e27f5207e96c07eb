#include "server/data/pricing/price_text.h"

#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>

#include <gtest/gtest.h>

#include "common/testing/comma_locale.h"

namespace kt::data::pricing {
namespace {

TEST(PriceText, PicturesByDecimals) {
  const Currency none_dec{1, true, 0}, one_dec{2, true, 1}, two_dec{3, true, 2}, three_dec{4, true, 3};
  struct Case {
    double total;
    const Currency* currency;
    double quantity;
    const char* expected;
  } const cases[] = {
      {12500, &none_dec, 1, "12.500 / 1 PCS"},
      {0, &none_dec, 1, "- / 1 PCS"},
      {37500, &none_dec, 3, "37.500 / 3 PCS"},
      {12500, &none_dec, 2.5, "12.500 / 2,5 PCS"},
      {12500, &none_dec, 2.50, "12.500 / 2,5 PCS"},
      {999, &none_dec, 1, "999 / 1 PCS"},
      {12499.5, &none_dec, 1, "12.500 / 1 PCS"},
      {1234.45, &one_dec, 1, "1.234,5 / 1 PCS"},
      {1234.5, &two_dec, 1, "1.234,50 / 1 PCS"},
      {2.675, &two_dec, 1, "2,68 / 1 PCS"},
      {1234.5678, &three_dec, 1, "1.234,57 / 1 PCS"},
      {12500.4, nullptr, 1, "12.500 / 1 PCS"},
      {999999999, &none_dec, 1, "999.999.999 / 1 PCS"},
      {0.004, &two_dec, 1, "- / 1 PCS"},
      {0.4, &none_dec, 1, "- / 1 PCS"},
      {-12500, &none_dec, 1, "-12.500 / 1 PCS"},
      {12500, &none_dec, 0.125, "12.500 / 0,125 PCS"},
      {12500, &none_dec, 1000, "12.500 / 1000 PCS"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PriceText(c.total, c.currency, c.quantity, "PCS"), c.expected) << c.total;
  }
}

TEST(PriceText, TooLargeForThePictureIsWrittenInFull) {
  const Currency idr{1, true, 0}, usd{2, true, 2};
  EXPECT_EQ(FormatPriceNumber(1234567890, &idr), "1.234.567.890");
  EXPECT_EQ(FormatPriceNumber(999999999.995, &usd), "1.000.000.000,00");
  EXPECT_EQ(PriceText(12345678901.0, &idr, 1, "CTN"), "12.345.678.901 / 1 CTN");
}

TEST(PriceText, QuantityText) {
  const std::pair<double, const char*> cases[] = {
      {1, "1"}, {2.5, "2,5"}, {2.50, "2,5"}, {10, "10"}, {0.001, "0,001"}, {1.1 + 2.2, "3,3"}, {100000, "100000"}};
  for (const auto& [quantity, expected] : cases) EXPECT_EQ(FormatQuantityText(quantity), expected);
}

TEST(PriceText, IgnoresTheMachineLocale) {
  kt::test_support::CommaLocale locale;
  if (!locale.active()) GTEST_SKIP() << "no locale with a decimal comma available";
  char probe[32];
  std::snprintf(probe, sizeof probe, "%.1f", 2.5);
  ASSERT_STREQ(probe, "2,5") << "the locale did not take effect";

  const Currency usd{2, true, 2};
  EXPECT_EQ(PriceText(1234567.5, &usd, 2.5, "KG"), "1.234.567,50 / 2,5 KG");
  EXPECT_EQ(PriceText(1e12, &usd, 1, "KG"), "1.000.000.000.000,00 / 1 KG");
  // The rounding rules read the value's tail back from text: a locale-bound parse would fail here.
  const RoundingRule rules[] = {{1, 499, 500}, {0.01, 0.49, 0.50}};
  EXPECT_DOUBLE_EQ(ApplyRoundingRules(12345, rules), 12500);
  EXPECT_DOUBLE_EQ(ApplyRoundingRules(12.34, std::span(rules).subspan(1)), 12.50);
}

}  // namespace
}  // namespace kt::data::pricing
