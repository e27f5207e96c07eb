#include "server/data/pricing/engine.h"
#include "server/data/pricing/memory_sources.h"

#include <map>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "server/data/pricing/price_text.h"

namespace kt::data::pricing {
namespace {

constexpr uint16_t PCS = 1, BOX = 2, CTN = 3;  // BOX = 12 PCS, CTN = 144 PCS
constexpr uint16_t IDR = 1, USD = 2, JPY = 3, EUR = 4;

PriceLevel Level(uint16_t currency, double price, double quantity, uint16_t unit,
                 std::array<double, 3> discounts = {}) {
  PriceLevel level;
  level.currency = currency;
  level.price = price;
  level.quantity = quantity;
  level.unit = unit;
  level.discounts = discounts;
  return level;
}

Promotion Window(Date from, Date to) {
  Promotion p;
  p.window = {from, to, "", 0, 0};
  return p;
}

class EngineTest : public ::testing::Test {
 protected:
  EngineTest() : units_(PCS, {{PCS, 1}, {BOX, 12}, {CTN, 144}}), promotions_(holidays_) {
    book_.AddCurrency({IDR, true, 0});
    book_.AddCurrency({USD, true, 2});
    book_.AddCurrency({JPY, false, 0});
    book_.AddCurrency({EUR, true, 2});  // listed, never given a rate
    RateRecord idr, usd, jpy;
    idr.rates = {1, 1, 1, 1, 1, 1};
    usd.rates = {14800, 15000, 15200, 15300, 15400, 15500};
    jpy.rates = {0.01, 0.01, 0.01, 0.01, 0.01, 0.01};  // stored the other way round
    rates_.rates = {{IDR, idr}, {USD, usd}, {JPY, jpy}};
    item_.LIID = 42;
    item_.units = &units_;
    item_.WKURSJUAL = 2;
    item_.levels[0] = Level(IDR, 12500, 1, PCS);
  }

  PricingContext Context() {
    PricingContext context;
    context.control = &control_;
    context.currencies = &book_;
    context.promotions = &promotions_;
    context.rates = &rates_;
    context.when = when_;
    context.WCONFIGHARGAJUAL = fixed_level_;
    return context;
  }

  PricedLine Price(double quantity, uint16_t unit, PriceTrace* trace = nullptr) {
    PricedLine line;
    line.FJUMLAH = quantity;
    line.WSATUANID = unit;
    Result<PriceTrace> result = ASSIGNHARGA(item_, Context(), line);
    EXPECT_TRUE(result.ok()) << result.status().ToString();
    if (trace != nullptr && result.ok()) *trace = *result;
    return line;
  }

  double Total(const PricedLine& line) { return TOTAL(line, control_, book_); }
  std::string Text(double quantity, uint16_t unit) {
    const PricedLine line = Price(quantity, unit);
    return PriceText(Total(line), book_.Find(control_.RetailCurrency()), quantity, "PCS");
  }

  void UseThousandRules() {
    book_.AddRule(IDR, {1, 499, 500});
    book_.AddRule(IDR, {501, 999, 1000});
  }

  FactorUnits units_;
  HolidayList holidays_;
  CurrencyBook book_;
  InMemoryRates rates_;
  InMemoryPromotions promotions_;
  PricingControl control_;
  PricingItem item_;
  LookupTime when_{{2026, 12, 10}, 600};
  int fixed_level_ = 0;
};

TEST_F(EngineTest, NoQuantityBreaksMakeEveryLevelLevelOne) {
  item_.levels[0] = Level(IDR, 10000, 0, PCS);
  for (int n = 1; n < 5; ++n) item_.levels[n] = Level(IDR, 9000 - 1000 * n, 0, PCS);
  for (int fixed = 0; fixed <= 5; ++fixed) {
    fixed_level_ = fixed;
    for (double quantity : {1.0, 50.0}) {
      const PricedLine line = Price(quantity, PCS);
      EXPECT_DOUBLE_EQ(line.FHARGA, 10000 * quantity) << "fixed level " << fixed;
    }
  }
}

TEST_F(EngineTest, LevelChoice) {
  struct Case {
    const char* name;
    std::array<bool, 5> in_use;
    int fixed;
    double quantity;
    uint16_t unit;
    int level;
    double amount;
  };
  // Per PCS: level 1 from 1 PCS at 1000, level 2 from 12 PCS at 900, level 3 from 2 BOX at 800
  // (9,600 a BOX), level 4 priced but without a quantity (so a copy of level 3), level 5 from
  // 1 CTN at 600 (86,400 a CTN).
  item_.levels[0] = Level(IDR, 1000, 1, PCS);
  item_.levels[1] = Level(IDR, 900, 12, PCS);
  item_.levels[2] = Level(IDR, 9600, 2, BOX);
  item_.levels[3] = Level(IDR, 700, 0, PCS);
  item_.levels[4] = Level(IDR, 86400, 1, CTN);
  const std::array<bool, 5> all{true, true, true, true, true};
  const std::array<bool, 5> no3{true, true, false, true, true};
  const std::array<bool, 5> no2{true, false, true, true, true};
  const Case cases[] = {
      {"11 PCS stays below the break", all, 0, 11, PCS, 1, 11000},
      {"12 PCS reaches level 2", all, 0, 12, PCS, 2, 10800},
      {"1 BOX is 12 PCS", all, 0, 1, BOX, 2, 10800},
      {"23 PCS", all, 0, 23, PCS, 2, 23 * 900},
      {"24 PCS reaches level 3", all, 0, 24, PCS, 3, 24 * 800},
      {"143 PCS: level 4 copies level 3 and yields to it", all, 0, 143, PCS, 3, 143 * 800},
      {"1 CTN reaches level 5", all, 0, 1, CTN, 5, 144 * 600},
      {"level 2 switched off: 12 PCS is level 1", no2, 0, 12, PCS, 1, 12000},
      {"level 3 switched off: 24 PCS keeps level 2", no3, 0, 24, PCS, 2, 24 * 900},
      {"fixed level 3 switched off reads the copy of level 2", no3, 3, 1, PCS, 3, 900},
      {"fixed level 4 without quantity reads level 3", all, 4, 1, PCS, 4, 800},
      {"fixed level overrides the quantity", all, 1, 1, CTN, 1, 144000},
      {"fixed level beyond 5 leaves the automatic level", all, 7, 12, PCS, 2, 10800},
      {"fraction below the first break", all, 0, 0.5, PCS, 1, 500},
  };
  for (const Case& c : cases) {
    control_.levels.in_use = c.in_use;
    fixed_level_ = c.fixed;
    PriceTrace trace;
    const PricedLine line = Price(c.quantity, c.unit, &trace);
    EXPECT_EQ(trace.level, c.level) << c.name;
    EXPECT_DOUBLE_EQ(line.FHARGA, c.amount) << c.name;
  }
}

TEST_F(EngineTest, LevelThreeWithoutQuantityIsReplacedEvenWhenFixed) {
  item_.levels[0] = Level(IDR, 1000, 1, PCS);
  item_.levels[1] = Level(IDR, 900, 12, PCS);
  item_.levels[2] = Level(IDR, 500, 0, PCS);  // a price but no quantity
  fixed_level_ = 3;
  EXPECT_DOUBLE_EQ(Price(1, PCS).FHARGA, 900);
}

TEST_F(EngineTest, IncompleteLevelsAreCopiedFromBelow) {
  item_.levels[0] = Level(IDR, 1000, 1, PCS, {1, 2, 3});
  const PriceLevel incomplete[] = {Level(0, 900, 12, PCS), Level(IDR, 0, 12, PCS),
                                   Level(IDR, 900, 12, 0)};
  for (const PriceLevel& level : incomplete) {
    item_.levels[1] = level;
    fixed_level_ = 2;
    const PricedLine line = Price(1, PCS);
    EXPECT_DOUBLE_EQ(line.FHARGA, 1000);
    EXPECT_DOUBLE_EQ(line.FDISCPERS3, 3);
  }
}

TEST_F(EngineTest, PricePerUnitOfTheLevel) {
  // 12,000 for one BOX of 12: one PCS costs 1,000.
  item_.levels[0] = Level(IDR, 12000, 1, BOX);
  struct Case {
    double quantity;
    uint16_t unit;
    double amount;
  } const cases[] = {{1, PCS, 1000}, {1, BOX, 12000}, {2.5, BOX, 30000}, {1, CTN, 144000}, {0.5, PCS, 500}};
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(Price(c.quantity, c.unit).FHARGA, c.amount) << c.quantity;

  // A level counted in unit 0 is priced per smallest unit.
  item_.levels[0] = Level(IDR, 700, 0, 0);
  EXPECT_DOUBLE_EQ(Price(3, PCS).FHARGA, 2100);
  // A line unit the item does not know counts 0 smallest units.
  EXPECT_DOUBLE_EQ(Price(3, 77).FHARGA, 0);
}

TEST_F(EngineTest, ExtraPricesOnlyWhenNamed) {
  item_.levels[0].extra1 = 200;
  item_.levels[0].extra2 = 300;
  PricedLine line = Price(2, PCS);
  EXPECT_DOUBLE_EQ(line.FHARGAEX1, 0);
  EXPECT_DOUBLE_EQ(line.FHARGAEX2, 0);
  control_.levels.extra1 = true;
  line = Price(2, PCS);
  EXPECT_DOUBLE_EQ(line.FHARGAEX1, 400);
  EXPECT_DOUBLE_EQ(line.FHARGAEX2, 0);
  control_.levels.extra2 = true;
  line = Price(2, PCS);
  EXPECT_DOUBLE_EQ(line.FHARGAEX2, 600);
  EXPECT_DOUBLE_EQ(Total(line), 25000 + 400 + 600);
}

TEST_F(EngineTest, PriceRoundingModes) {
  UseThousandRules();
  item_.levels[0] = Level(IDR, 10100, 1, BOX);  // 841.666... per PCS
  struct Case {
    const char* name;
    bool mode2, mode3;
    double quantity;
    uint16_t unit;
    double amount;
  } const cases[] = {
      {"line total rounded: 20,200 -> 20,500", false, false, 2, BOX, 20500},
      {"line unit rounded first: 2 x 10,500", false, true, 2, BOX, 21000},
      {"level price rounded first: 10,500 / 12 x 24", true, false, 2, BOX, 21000},
      {"mode 3 wins over mode 2", true, true, 2, BOX, 21000},
      {"line total of 2 PCS: tail 683.33", false, false, 2, PCS, 1683.3333333333333 - 683.33 + 1000},
      {"price of 1 PCS rounded, times 2", false, true, 2, PCS, 2 * (841.66666666666663 - 841.67 + 1000)},
      {"10,500 / 12 x 2 without further rounding", true, false, 2, PCS, 1750},
      {"12 PCS in mode 3 counted per PCS", false, true, 12, PCS, 12 * (841.66666666666663 - 841.67 + 1000)},
  };
  for (const Case& c : cases) {
    control_.LPENJUALANHARGABULAT2 = c.mode2;
    control_.LPENJUALANHARGABULAT3 = c.mode3;
    EXPECT_NEAR(Price(c.quantity, c.unit).FHARGA, c.amount, 1e-6) << c.name;
  }
}

TEST_F(EngineTest, RoundingRuleExamples) {
  UseThousandRules();
  const std::pair<double, double> cases[] = {{12345, 12500}, {12000, 12000}, {12750, 13000}};
  for (const auto& [price, expected] : cases) {
    item_.levels[0] = Level(IDR, price, 1, PCS);
    EXPECT_DOUBLE_EQ(Price(1, PCS).FHARGA, expected) << price;
  }
}

TEST_F(EngineTest, CurrencyConversion) {
  struct Case {
    const char* name;
    uint16_t currency;
    double price;
    int kurs;
    double amount;
  } const cases[] = {
      {"USD with MU_KALI at KURS_JUAL", USD, 2.50, 2, 37500},
      {"USD at KURS_BELI", USD, 2.50, 1, 37000},
      {"USD at KURS_JUAL5", USD, 2.00, 6, 31000},
      {"JPY without MU_KALI: rate inverted", JPY, 250, 2, 25000},
      {"no rate record gives 0", EUR, 3, 2, 0},
  };
  for (const Case& c : cases) {
    item_.levels[0] = Level(c.currency, c.price, 1, PCS);
    item_.WKURSJUAL = c.kurs;
    EXPECT_NEAR(Price(1, PCS).FHARGA, c.amount, 1e-9) << c.name;
  }
  // Without a rate table a foreign price cannot be converted; a home price needs none.
  item_.levels[0] = Level(USD, 2.5, 1, PCS);
  PricingContext context = Context();
  context.rates = nullptr;
  PricedLine line;
  line.FJUMLAH = 1;
  line.WSATUANID = PCS;
  ASSERT_TRUE(CHECKHARGA(item_, context, line).ok());
  EXPECT_EQ(line.FHARGA, 0);
}

TEST_F(EngineTest, ConvertedAmountsAreRoundedByTheRetailCurrencysRules) {
  UseThousandRules();
  book_.AddRule(USD, {0.01, 0.49, 0.50});  // cents rules of the level's currency
  item_.levels[0] = Level(USD, 2.45, 1, PCS);  // 36,750 rupiah
  EXPECT_DOUBLE_EQ(Price(1, PCS).FHARGA, 37000);
  control_.LPENJUALANHARGABULAT2 = true;  // the converted level price is rounded the same way
  EXPECT_DOUBLE_EQ(Price(2, PCS).FHARGA, 74000);
}

TEST_F(EngineTest, RetailCurrencyZeroMeansOne) {
  control_.WPENJECERANMU = 0;
  EXPECT_EQ(Text(1, PCS), "12.500 / 1 PCS");
  control_.WPENJECERANMU = USD;  // prices in IDR now converted into USD
  EXPECT_EQ(Text(3, PCS), "2,50 / 3 PCS");
}

TEST_F(EngineTest, PromotionWindowsAndSpecialPrice) {
  Promotion special = Window({2026, 12, 1}, {2026, 12, 10});
  special.levels[0] = Level(IDR, 9900, 1, PCS);
  promotions_.list.emplace_back(PromotionKind::kSpecialPrice, special);
  PriceTrace trace;
  when_ = {{2026, 12, 10}, 1439};
  EXPECT_DOUBLE_EQ(Price(1, PCS, &trace).FHARGA, 9900);
  EXPECT_TRUE(trace.special_price);
  when_ = {{2026, 12, 11}, 0};
  EXPECT_DOUBLE_EQ(Price(1, PCS, &trace).FHARGA, 12500);
  EXPECT_FALSE(trace.special_price);

  // A special price goes through the same level rules: its level 2 without a quantity is a copy.
  when_ = {{2026, 12, 5}, 0};
  promotions_.list[0].second.levels[1] = Level(IDR, 5000, 0, PCS);
  fixed_level_ = 2;
  EXPECT_DOUBLE_EQ(Price(1, PCS).FHARGA, 9900);
}

TEST_F(EngineTest, PercentagePromotionReplacesTheSwitchedOnDiscounts) {
  item_.levels[0] = Level(IDR, 10000, 1, PCS, {5, 6, 7});
  Promotion percentage = Window({2026, 12, 1}, {2026, 12, 31});
  percentage.percentages = {10, 20, 30};
  promotions_.list.emplace_back(PromotionKind::kPercentage, percentage);
  struct Case {
    bool disc2, disc3;
    std::array<double, 3> expected;
  } const cases[] = {
      {false, false, {10, 6, 7}}, {true, false, {10, 20, 7}}, {false, true, {10, 6, 30}}, {true, true, {10, 20, 30}}};
  for (const Case& c : cases) {
    control_.LPENJUALANDISCOUNT2 = c.disc2;
    control_.LPENJUALANDISCOUNT3 = c.disc3;
    const PricedLine line = Price(1, PCS);
    EXPECT_EQ((std::array<double, 3>{line.FDISCPERS1, line.FDISCPERS2, line.FDISCPERS3}), c.expected);
  }
  // Outside its window the level's discounts stay.
  when_ = {{2027, 1, 1}, 0};
  EXPECT_DOUBLE_EQ(Price(1, PCS).FDISCPERS1, 5);
}

TEST_F(EngineTest, ValuePromotionPerWholeUnit) {
  item_.levels[0] = Level(IDR, 1000, 1, PCS);
  Promotion value = Window({2026, 12, 1}, {2026, 12, 31});
  value.value_currency = IDR;
  value.value = 500;
  value.value_unit = BOX;
  promotions_.list.emplace_back(PromotionKind::kValue, value);
  struct Case {
    const char* name;
    uint16_t currency;
    double amount;
    uint16_t unit;
    bool round_dec;
    double quantity;
    uint16_t line_unit;
    double expected;
  } const cases[] = {
      {"11 PCS: no whole BOX", IDR, 500, BOX, false, 11, PCS, 0},
      {"30 PCS: two whole BOX", IDR, 500, BOX, false, 30, PCS, 1000},
      {"1 CTN: twelve BOX", IDR, 500, BOX, false, 1, CTN, 6000},
      {"per PCS", IDR, 500, PCS, false, 3, PCS, 1500},
      {"unit 0 counts smallest units", IDR, 500, 0, false, 3, PCS, 1500},
      {"USD, 2 places", USD, 0.333, PCS, false, 1, PCS, 4995},
      {"USD, 2 places on a half", USD, 0.00003, PCS, false, 1, PCS, 0.45},
      {"USD, retail decimals (0)", USD, 0.00003, PCS, true, 1, PCS, 0},
      {"USD, retail decimals on a half", USD, 0.0001, PCS, true, 1, PCS, 2},
      {"unknown unit: size 0", IDR, 500, 99, false, 3, PCS, 0},
  };
  for (const Case& c : cases) {
    promotions_.list[0].second.value_currency = c.currency;
    promotions_.list[0].second.value = c.amount;
    promotions_.list[0].second.value_unit = c.unit;
    control_.LROUNDDECIMALMU = c.round_dec;
    EXPECT_DOUBLE_EQ(Price(c.quantity, c.line_unit).FDISCNILAI, c.expected) << c.name;
  }
}

TEST_F(EngineTest, PercentageDiscountSwitches) {
  struct Case {
    const char* name;
    std::array<double, 3> p;
    bool disc2, disc3, independent, without1, after_value;
    double value_discount;
    double expected;
  } const cases[] = {
      {"first only", {10, 0, 0}, false, false, false, false, false, 0, 10000},
      {"second switched off", {10, 10, 10}, false, false, false, false, false, 0, 10000},
      {"cascading", {10, 10, 10}, true, true, false, false, false, 0, 27100},
      {"independent", {10, 10, 10}, true, true, true, false, false, 0, 30000},
      {"third alone after the first", {10, 0, 10}, false, true, false, false, false, 0, 19000},
      {"no first: second and third still apply", {0, 10, 10}, true, true, false, false, false, 0, 19000},
      {"no first clears the others", {0, 10, 10}, true, true, false, true, false, 0, 0},
      {"no second clears the third", {10, 0, 10}, true, true, false, true, false, 0, 10000},
      {"negative first clears the others", {-5, 10, 10}, true, true, false, true, false, 0, -5000},
      {"percentages on the amount", {10, 0, 0}, false, false, false, false, false, 20000, 10000},
      {"percentages after the value discount", {10, 0, 0}, false, false, false, false, true, 20000, 8000},
      {"capped at the line amount", {60, 60, 0}, true, false, true, false, false, 0, 100000},
      {"cascading never passes 100%", {100, 50, 0}, true, false, false, false, false, 0, 100000},
  };
  item_.levels[0] = Level(IDR, 100000, 1, PCS);
  for (const Case& c : cases) {
    control_.LPENJUALANDISCOUNT2 = c.disc2;
    control_.LPENJUALANDISCOUNT3 = c.disc3;
    control_.LPENJUALANDISC23INDEPEND = c.independent;
    control_.LPENJUALANDISC23WITHOUT1 = c.without1;
    control_.LPENJUALANDISCPERSAFTERDISCN = c.after_value;
    PricedLine line = Price(1, PCS);
    line.FDISCPERS1 = c.p[0];
    line.FDISCPERS2 = c.p[1];
    line.FDISCPERS3 = c.p[2];
    line.FDISCNILAI = c.value_discount;
    EXPECT_DOUBLE_EQ(DISCPERSENNILAI(line, control_, book_), c.expected) << c.name;
    EXPECT_DOUBLE_EQ(TOTALHITUNGPAJAK(line, control_, book_), 100000 - c.value_discount - c.expected) << c.name;
  }
}

TEST_F(EngineTest, PercentageDiscountRounding) {
  UseThousandRules();
  book_.AddCurrency({9, true, 2});  // a two-decimal retail currency without rules
  struct Case {
    const char* name;
    uint16_t retail;
    bool by_rules;
    double amount;
    double percent;
    double expected;
  } const cases[] = {
      {"0 decimals, exact half", IDR, false, 12345, 10, 1235},
      {"0 decimals, below half", IDR, false, 12344, 10, 1234},
      {"by the rules: tail 234.50 -> 500", IDR, true, 12345, 10, 1500},
      {"2 decimals on a half", 9, false, 12345.65, 10, 1234.57},
      {"unlisted retail currency: 2 places", 8, false, 10.05, 50, 5.03},
  };
  for (const Case& c : cases) {
    control_.WPENJECERANMU = c.retail;
    control_.LPENJUALANDISCBULAT = c.by_rules;
    PricedLine line;
    line.FHARGA = c.amount;
    line.FDISCPERS1 = c.percent;
    EXPECT_DOUBLE_EQ(DISCPERSENNILAI(line, control_, book_), c.expected) << c.name;
  }
  // A negative line amount bounds the discount from below.
  PricedLine refund;
  refund.FHARGA = -1000;
  refund.FDISCPERS1 = 150;
  control_.WPENJECERANMU = IDR;
  control_.LPENJUALANDISCBULAT = false;
  EXPECT_DOUBLE_EQ(DISCPERSENNILAI(refund, control_, book_), -1000);
}

TEST_F(EngineTest, TaxAndTotal) {
  item_.levels[0] = Level(IDR, 12345, 1, PCS);
  struct Case {
    const char* name;
    double percent;
    bool non_pajak;
    double tax;
    const char* text;
  } const cases[] = {
      {"no tax percentage", 0, false, 0, "12.345 / 1 PCS"},
      {"10% tax, half rounds up in the text", 10, false, 1234.5, "13.580 / 1 PCS"},
      {"tax-free item", 10, true, 0, "12.345 / 1 PCS"},
  };
  for (const Case& c : cases) {
    control_.FPENJECERANPAJAKITEMPERSEN = c.percent;
    item_.LNONPAJAK = c.non_pajak;
    const PricedLine line = Price(1, PCS);
    EXPECT_DOUBLE_EQ(line.FPAJAK, c.tax) << c.name;
    EXPECT_DOUBLE_EQ(Total(line), 12345 + c.tax) << c.name;
    EXPECT_EQ(PriceText(Total(line), book_.Find(IDR), 1, "PCS"), c.text) << c.name;
  }
}

TEST_F(EngineTest, TaxIsOnTheDiscountedAmount) {
  item_.levels[0] = Level(IDR, 10000, 1, PCS, {10, 0, 0});
  control_.FPENJECERANPAJAKITEMPERSEN = 10;
  Promotion value = Window({2026, 12, 1}, {2026, 12, 31});
  value.value_currency = IDR;
  value.value = 1000;
  value.value_unit = PCS;
  promotions_.list.emplace_back(PromotionKind::kValue, value);
  const PricedLine line = Price(2, PCS);  // 20,000 - 2,000 - 2,000
  EXPECT_DOUBLE_EQ(TOTALHITUNGPAJAK(line, control_, book_), 16000);
  EXPECT_DOUBLE_EQ(line.FPAJAK, 1600);
  EXPECT_DOUBLE_EQ(Total(line), 17600);
}

TEST_F(EngineTest, PriceTextsOfWholeLookups) {
  EXPECT_EQ(Text(1, PCS), "12.500 / 1 PCS");
  EXPECT_EQ(Text(3, PCS), "37.500 / 3 PCS");
  EXPECT_EQ(Text(2.5, PCS), "31.250 / 2,5 PCS");
  item_.levels[0] = Level(IDR, 0, 1, PCS);
  EXPECT_EQ(Text(1, PCS), "- / 1 PCS");
  // Discounted down to nothing shows "-" too.
  item_.levels[0] = Level(IDR, 12500, 1, PCS, {100, 0, 0});
  EXPECT_EQ(Text(1, PCS), "- / 1 PCS");
}

class FailingPromotions final : public PromotionSource {
 public:
  Result<std::optional<Promotion>> FindValid(PromotionKind, int64_t, const LookupTime&) override {
    return Status::Corruption("promotion index: bad node");
  }
};

TEST_F(EngineTest, SourceErrorsAreReturned) {
  FailingPromotions failing;
  PricingContext context = Context();
  context.promotions = &failing;
  PricedLine line;
  line.FJUMLAH = 1;
  line.WSATUANID = PCS;
  Result<PriceTrace> result = ASSIGNHARGA(item_, context, line);
  ASSERT_FALSE(result.ok());
  EXPECT_TRUE(result.status().IsCorruption());
}

}  // namespace
}  // namespace kt::data::pricing
