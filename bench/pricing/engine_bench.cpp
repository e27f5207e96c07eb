// How fast the pricing engine prices one line when its inputs are in memory: an item with
// quantity breaks, a valid special price, percentage and value promotions, rounding rules and a
// price in a foreign currency. Table reads are measured by the priced-lookup benchmark.
#include <map>
#include <optional>
#include <vector>

#include <benchmark/benchmark.h>

#include "server/data/pricing/engine.h"
#include "server/data/pricing/memory_sources.h"
#include "server/data/pricing/price_text.h"

namespace kt::data::pricing {
namespace {

constexpr uint16_t PCS = 1, BOX = 2, CTN = 3;
constexpr uint16_t IDR = 1, USD = 2;

PriceLevel Level(uint16_t currency, double price, double quantity, uint16_t unit) {
  PriceLevel level;
  level.currency = currency;
  level.price = price;
  level.quantity = quantity;
  level.unit = unit;
  level.discounts = {5, 0, 0};
  return level;
}

struct Setup {
  FactorUnits units{PCS, {{PCS, 1}, {BOX, 12}, {CTN, 144}}};
  HolidayList holidays{{{2026, 12, 25}}};
  CurrencyBook book;
  InMemoryRates rates;
  InMemoryPromotions promotions{holidays};
  PricingControl control;
  PricingItem item;

  explicit Setup(bool foreign, bool with_promotions) {
    book.AddCurrency({IDR, true, 0});
    book.AddCurrency({USD, true, 2});
    book.AddRule(IDR, {1, 499, 500});
    book.AddRule(IDR, {501, 999, 1000});
    RateRecord idr, usd;
    idr.rates = {1, 1, 1, 1, 1, 1};
    usd.rates = {14800, 15000, 15200, 15300, 15400, 15500};
    rates.rates = {{IDR, idr}, {USD, usd}};
    control.LPENJUALANDISCOUNT2 = true;
    control.FPENJECERANPAJAKITEMPERSEN = 11;
    item.LIID = 7;
    item.units = &units;
    item.WKURSJUAL = 2;
    const uint16_t currency = foreign ? USD : IDR;
    const double scale = foreign ? 1.0 / 15000 : 1.0;
    item.levels = {Level(currency, 12500 * scale, 1, PCS), Level(currency, 140000 * scale, 1, BOX),
                   Level(currency, 1600000 * scale, 1, CTN), Level(currency, 0, 0, 0),
                   Level(currency, 0, 0, 0)};
    if (with_promotions) {
      Promotion special;
      special.window = {{2026, 12, 1}, {2026, 12, 31}, "11111110", 480, 1320};
      special.levels = item.levels;
      special.levels[0].price *= 0.9;
      Promotion percentage = special;
      percentage.percentages = {10, 5, 0};
      Promotion value = special;
      value.value_currency = IDR;
      value.value = 1000;
      value.value_unit = BOX;
      promotions.list = {{PromotionKind::kSpecialPrice, special},
                         {PromotionKind::kPercentage, percentage},
                         {PromotionKind::kValue, value}};
    }
  }
};

void PriceLines(benchmark::State& state, bool foreign, bool with_promotions) {
  Setup setup(foreign, with_promotions);
  PricingContext context;
  context.control = &setup.control;
  context.currencies = &setup.book;
  context.promotions = &setup.promotions;
  context.rates = &setup.rates;
  context.when = {{2026, 12, 10}, 600};
  const Currency* retail = setup.book.Find(IDR);
  double quantity = 1;
  for (auto _ : state) {
    PricedLine line;
    line.FJUMLAH = quantity;
    line.WSATUANID = PCS;
    Result<PriceTrace> trace = ASSIGNHARGA(setup.item, context, line);
    std::string text = PriceText(TOTAL(line, setup.control, setup.book), retail, quantity, "PCS");
    benchmark::DoNotOptimize(trace);
    benchmark::DoNotOptimize(text);
    quantity = quantity >= 200 ? 1 : quantity + 1;
  }
  state.counters["prices/s"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                  benchmark::Counter::kIsRate);
}

void BM_PriceHomeCurrency(benchmark::State& state) { PriceLines(state, false, false); }
void BM_PriceHomeCurrencyWithPromotions(benchmark::State& state) { PriceLines(state, false, true); }
void BM_PriceForeignCurrencyWithPromotions(benchmark::State& state) { PriceLines(state, true, true); }

BENCHMARK(BM_PriceHomeCurrency);
BENCHMARK(BM_PriceHomeCurrencyWithPromotions);
BENCHMARK(BM_PriceForeignCurrencyWithPromotions);

}  // namespace
}  // namespace kt::data::pricing

BENCHMARK_MAIN();
