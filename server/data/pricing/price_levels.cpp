#include "server/data/pricing/price_levels.h"

#include <algorithm>

namespace kt::data::pricing {
namespace {

bool Incomplete(const PriceLevel& level) {
  return level.currency == 0 || level.price == 0 || level.quantity == 0 || level.unit == 0;
}

}  // namespace

RECHARGAJUAL::RECHARGAJUAL(const PriceLevels& stored, const LevelSwitches& switches,
                         const ItemUnits& units)
    : levels_(stored), in_use_(switches.in_use) {
  in_use_[0] = true;
  for (PriceLevel& level : levels_) {
    if (!switches.extra1) level.extra1 = 0;
    if (!switches.extra2) level.extra2 = 0;
  }
  // Filled upward: an unused or incomplete level repeats the one below it, so a level that is
  // copied itself passes its copy on.
  for (std::size_t n = 1; n < levels_.size(); ++n) {
    if (!in_use_[n] || Incomplete(levels_[n])) levels_[n] = levels_[n - 1];
  }
  for (std::size_t n = 0; n < levels_.size(); ++n) {
    const PriceLevel& level = levels_[n];
    smallest_[n] = level.unit == 0 ? level.quantity : units.ToSmallest(level.quantity, level.unit);
  }
  // Ascending by quantity; for equal quantities the higher level first. Compared as a pair, so
  // fractional quantities keep their order.
  for (int n = 0; n < kLevels; ++n) ARRAYJUMLAHKECIL[static_cast<std::size_t>(n)] = n + 1;
  std::stable_sort(ARRAYJUMLAHKECIL.begin(), ARRAYJUMLAHKECIL.end(), [this](int a, int b) {
    const double qa = SmallestQuantity(a);
    const double qb = SmallestQuantity(b);
    if (qa != qb) return qa < qb;
    return a > b;
  });
}

int RECHARGAJUAL::LevelFor(double smallest_quantity) const {
  int level = 1;
  for (auto it = ARRAYJUMLAHKECIL.rbegin(); it != ARRAYJUMLAHKECIL.rend(); ++it) {
    if (SmallestQuantity(*it) <= smallest_quantity) {
      level = *it;
      break;
    }
  }
  if (level < 1 || level > kLevels || !in_use_[static_cast<std::size_t>(level - 1)]) level = 1;
  return level;
}

double RECHARGA::UnitSize(uint16_t unit, const ItemUnits& units) {
  if (unit == 0) return 1.0;
  return units.ToSmallest(1.0, unit);
}

}  // namespace kt::data::pricing
