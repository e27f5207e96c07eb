#include "server/data/pricing/currency.h"
#include "server/data/pricing/memory_sources.h"

#include <map>

#include <gtest/gtest.h>

namespace kt::data::pricing {
namespace {

TEST(ApplyRoundingRules, TailReplacement) {
  const std::vector<RoundingRule> thousands = {{1, 499, 500}, {501, 999, 1000}};
  const std::vector<RoundingRule> cents = {{0.01, 0.49, 0.50}, {0.51, 0.99, 1.00}};
  const std::vector<RoundingRule> overlapping = {{1, 499, 500}, {1, 999, 1000}};
  struct Case {
    const char* name;
    const std::vector<RoundingRule>* rules;
    double value;
    double expected;
  } const cases[] = {
      {"tail 345 in 1..499", &thousands, 12345, 12500},
      {"tail 750 in 501..999", &thousands, 12750, 13000},
      {"tail 0 in no range", &thousands, 12000, 12000},
      {"tail 500 between the ranges", &thousands, 12500, 12500},
      {"tail 999.99 above 999", &thousands, 12999.99, 12999.99},
      {"tail 499 on the bound", &thousands, 499, 500},
      {"zero stays", &thousands, 0, 0},
      {"short value", &thousands, 7, 500},
      {"unrounded value keeps its fraction", &thousands, 12345.678, 12345.678 - 345.68 + 500},
      {"cents 0.34 in 0.01..0.49", &cents, 12.34, 12.50},
      {"cents 0.75 in 0.51..0.99", &cents, 12.75, 13.00},
      {"cents 0.00 in no range", &cents, 12.00, 12.00},
      {"first matching rule wins", &overlapping, 12345, 12500},
      {"too large for the picture", &thousands, 123456789012345.0, 123456789012345.0},
  };
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(ApplyRoundingRules(c.value, *c.rules), c.expected) << c.name;
  }
  EXPECT_DOUBLE_EQ(ApplyRoundingRules(12345, {}), 12345);
}

TEST(CurrencyBook, RulesBelongToListedCurrencies) {
  CurrencyBook book;
  book.AddCurrency({1, true, 0});
  book.AddRule(1, {1, 499, 500});
  book.AddRule(1, {501, 999, 1000});
  book.AddRule(9, {1, 499, 500});  // a currency that is not in the list
  ASSERT_NE(book.Find(1), nullptr);
  EXPECT_EQ(book.Find(9), nullptr);
  EXPECT_EQ(book.RulesOf(1).size(), 2u);
  EXPECT_DOUBLE_EQ(book.RulesOf(1)[1].lower, 501);
  EXPECT_TRUE(book.RulesOf(9).empty());
  EXPECT_TRUE(book.RulesOf(2).empty());
}

RateRecord Rates(double beli, double jual, double jual2 = 0) {
  RateRecord r;
  r.rates = {beli, jual, jual2, 4, 5, 6};
  return r;
}

TEST(ConversionFactor, RatesKindsAndInversion) {
  CurrencyBook book;
  book.AddCurrency({1, true, 0});   // retail currency, rate 1
  book.AddCurrency({2, true, 2});   // rate stored as retail units per unit
  book.AddCurrency({3, false, 0});  // rate stored the other way round: inverted
  book.AddCurrency({5, true, 2});   // listed, but no rate record
  InMemoryRates rates;
  rates.rates[1] = Rates(1, 1, 1);
  rates.rates[2] = Rates(14800, 15000, 15200);
  rates.rates[3] = Rates(0.02, 0.01, 0);
  rates.rates[4] = Rates(2, 2, 2);  // not in the currency list: no MU_KALI, so inverted
  const LookupTime when{{2026, 12, 10}, 600};

  struct Case {
    const char* name;
    uint16_t from, to;
    int kind;
    double expected;
  } const cases[] = {
      {"same currency", 7, 7, 2, 1},
      {"MU_KALI, KURS_JUAL", 2, 1, 2, 15000},
      {"MU_KALI, KURS_BELI", 2, 1, 1, 14800},
      {"MU_KALI, KURS_JUAL2", 2, 1, 3, 15200},
      {"kind out of range uses KURS_JUAL", 2, 1, 0, 15000},
      {"kind 9 uses KURS_JUAL", 2, 1, 9, 15000},
      {"without MU_KALI the rate is inverted", 3, 1, 2, 100},
      {"back into the foreign currency", 1, 2, 2, 1.0 / 15000},
      {"between two foreign currencies", 2, 3, 2, 15000.0 / 100},
      {"zero source rate", 3, 1, 3, 0},
      {"zero target rate", 1, 3, 3, 0},
      {"missing rate record", 5, 1, 2, 0},
      {"unlisted currency inverted", 4, 1, 2, 0.5},
  };
  for (const Case& c : cases) {
    Result<double> factor = ConversionFactor(c.from, c.to, c.kind, when, book, &rates);
    ASSERT_TRUE(factor.ok()) << c.name;
    EXPECT_DOUBLE_EQ(*factor, c.expected) << c.name;
  }
}

TEST(ConversionFactor, SameCurrencyReadsNoRatesAndNoTableGivesZero) {
  CurrencyBook book;
  InMemoryRates rates;
  const LookupTime when{{2026, 12, 10}, 600};
  EXPECT_DOUBLE_EQ(*ConversionFactor(1, 1, 2, when, book, &rates), 1.0);
  EXPECT_EQ(rates.calls, 0);
  EXPECT_DOUBLE_EQ(*ConversionFactor(1, 1, 2, when, book, nullptr), 1.0);
  EXPECT_DOUBLE_EQ(*ConversionFactor(2, 1, 2, when, book, nullptr), 0.0);
}

class FailingRates final : public RateSource {
 public:
  Result<std::optional<RateRecord>> LatestRate(uint16_t, const LookupTime&) override {
    return Status::IOError("rate table: read failed");
  }
};

TEST(ConversionFactor, ReadErrorsAreReported) {
  CurrencyBook book;
  FailingRates rates;
  Result<double> factor = ConversionFactor(2, 1, 2, {{2026, 12, 10}, 0}, book, &rates);
  ASSERT_FALSE(factor.ok());
  EXPECT_TRUE(factor.status().IsIOError());
}

}  // namespace
}  // namespace kt::data::pricing
