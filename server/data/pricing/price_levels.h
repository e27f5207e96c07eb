// The five price levels of an item or a promotion, the price record built from them
// (RECHARGAJUAL) and the price of the chosen level (RECHARGA).
#pragma once

#include <array>
#include <cstdint>

#include "server/data/pricing/units.h"

namespace kt::data::pricing {

inline constexpr int kLevels = 5;

// One price level as stored: fields MU_H_J_nn, HARGA_J_nn, HGEX1_J_nn, HGEX2_J_nn, JML_J_nn,
// SAT_J_nn, DISC1_J_nn ... DISC3_J_nn.
struct PriceLevel {
  uint16_t currency = 0;
  double price = 0;
  double extra1 = 0;
  double extra2 = 0;
  double quantity = 0;  // from this quantity on the level applies, in `unit`
  uint16_t unit = 0;
  std::array<double, 3> discounts{};  // percentages
};

using PriceLevels = std::array<PriceLevel, kLevels>;  // level n at index n - 1

// The control switches that shape a price record.
struct LevelSwitches {
  std::array<bool, kLevels> in_use{true, true, true, true, true};  // [0] (level 1) is always used
  bool extra1 = false;  // the control record names the first extra price component
  bool extra2 = false;  // ... the second
};

// RECHARGAJUAL (price record): the levels after filling upward, each level's quantity in smallest units and the
// levels ordered by that quantity.
class RECHARGAJUAL {
 public:
  // Builds the record: extra prices of a switched-off component read as 0; a level 2..5 that is
  // switched off, or whose currency, price, quantity or unit is 0, becomes a copy of the level
  // below it; quantities with a unit are converted to the item's smallest unit.
  RECHARGAJUAL(const PriceLevels& stored, const LevelSwitches& switches, const ItemUnits& units);

  // REQUIRES: 1 <= level <= 5.
  const PriceLevel& Level(int level) const { return levels_[static_cast<std::size_t>(level - 1)]; }
  double SmallestQuantity(int level) const { return smallest_[static_cast<std::size_t>(level - 1)]; }

  // The level for `smallest_quantity` smallest units: the level with the largest quantity not
  // above it (for equal quantities the lower level), normalised: a level that is switched off
  // becomes 1. Level 1 when no level's quantity is reached.
  int LevelFor(double smallest_quantity) const;

 private:
  PriceLevels levels_;
  std::array<double, kLevels> smallest_{};
  std::array<int, kLevels> ARRAYJUMLAHKECIL{};  // levels by quantity, then level descending
  std::array<bool, kLevels> in_use_{};
};

// RECHARGA: the chosen level's price, already in the currency it is charged in, and the price of
// one smallest unit. STOCKSATUANKECIL is the number of smallest units in one SATUAN, so
// HARGASATUAN is the price of one smallest unit.
struct RECHARGA {
  uint16_t MUHARGA = 0;
  double HARGA = 0;
  double HARGAEX1 = 0;
  double HARGAEX2 = 0;
  double JUMLAH = 0;
  uint16_t SATUAN = 0;
  double STOCKSATUANKECIL = 0;

  // Per smallest unit; 0 when STOCKSATUANKECIL is 0. Computed from the amounts, so assigning an
  // amount updates its per-unit price.
  double HARGASATUAN() const { return PerSmallest(HARGA); }
  double HARGAEX1SATUAN() const { return PerSmallest(HARGAEX1); }
  double HARGAEX2SATUAN() const { return PerSmallest(HARGAEX2); }

  // The size of one `unit` in smallest units; a unit of 0 is the smallest unit itself.
  static double UnitSize(uint16_t unit, const ItemUnits& units);

 private:
  double PerSmallest(double amount) const {
    return STOCKSATUANKECIL == 0 ? 0.0 : amount / STOCKSATUANKECIL;
  }
};

}  // namespace kt::data::pricing
