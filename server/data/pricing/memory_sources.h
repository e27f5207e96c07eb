// Promotion and rate sources held in memory: the engine's inputs without tables, for tests,
// benchmarks and tools that price from values they already have.
//
// Thread safety: plain objects; one user at a time.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "server/data/pricing/currency.h"
#include "server/data/pricing/promotion.h"

namespace kt::data::pricing {

// One rate record per currency, as the rate table would answer at one moment.
class InMemoryRates final : public RateSource {
 public:
  std::map<uint16_t, RateRecord> rates;
  int calls = 0;  // how often the engine asked

  Result<std::optional<RateRecord>> LatestRate(uint16_t currency, const LookupTime&) override {
    ++calls;
    const auto it = rates.find(currency);
    if (it == rates.end()) return std::optional<RateRecord>();
    return std::optional<RateRecord>(it->second);
  }
};

// Promotions in first-day order, searched the way the promotion table is: the first of the kind
// that is valid at the moment wins (the item is not checked: every entry is the item's).
class InMemoryPromotions final : public PromotionSource {
 public:
  explicit InMemoryPromotions(const HolidayList& holidays) : holidays_(holidays) {}

  std::vector<std::pair<PromotionKind, Promotion>> list;

  Result<std::optional<Promotion>> FindValid(PromotionKind kind, int64_t, const LookupTime& when) override {
    for (const auto& [k, p] : list) {
      if (k == kind && IsPromotionValid(p.window, when, holidays_)) return std::optional<Promotion>(p);
    }
    return std::optional<Promotion>();
  }

 private:
  const HolidayList& holidays_;  // borrowed; must outlive this object
};

}  // namespace kt::data::pricing
