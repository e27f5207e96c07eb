// How pricing converts an item's quantities into its smallest unit.
#pragma once

#include <cstdint>
#include <map>

namespace kt::data::pricing {

// The unit identifier that stands for an item's smallest unit, whatever it is.
inline constexpr uint16_t kSmallestUnitAlias = 61111;

// The unit conversion of one item (its unit set or its own factors).
class ItemUnits {
 public:
  virtual ~ItemUnits() = default;
  // `quantity` counted in `unit`, expressed in the item's smallest unit; 0 when the unit is
  // unknown to the item.
  virtual double ToSmallest(double quantity, uint16_t unit) const = 0;
};

// Units given as "number of smallest units per unit"; the smallest unit has factor 1.
class FactorUnits final : public ItemUnits {
 public:
  FactorUnits(uint16_t smallest_unit, std::map<uint16_t, double> factors)
      : smallest_(smallest_unit), factors_(std::move(factors)) {}

  double ToSmallest(double quantity, uint16_t unit) const override {
    if (quantity == 0) return 0;
    if (unit == kSmallestUnitAlias) unit = smallest_;
    if (unit == smallest_) return quantity;
    const double to = Factor(smallest_);
    return to == 0 ? 0 : quantity * Factor(unit) / to;
  }

 private:
  double Factor(uint16_t unit) const {
    auto it = factors_.find(unit);
    return it == factors_.end() ? 0.0 : it->second;
  }

  uint16_t smallest_;
  std::map<uint16_t, double> factors_;
};

}  // namespace kt::data::pricing
