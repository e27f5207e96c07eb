// Unit sets (table S_SATUAN) and the conversion of an item's quantities between its units.
//
// Every unit of a set counts a number of the set's smallest units (the unit whose count is 1).
// Conversions go through the smallest unit, with factors from the set or, when the control
// record says so, from the item itself (SAT_K_01..SAT_K_10).
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "common/event_sink.h"
#include "common/status.h"

namespace kt::data {

class WorkArea;

// Stands for "the item's smallest unit" wherever a unit identifier is expected.
inline constexpr uint16_t kSmallestUnitAlias = 61111;
inline constexpr int kUnitSlots = 10;

struct Unit {
  std::string text;   // SAT_nn_TXT, trimmed
  uint16_t id = 0;    // SAT_nn_VAL
  double count = 0;   // SAT_nn_SAT: smallest units in this unit
};

struct UnitSet {
  std::string name;   // SATUAN_TXT, trimmed
  uint16_t id = 0;    // SATUAN_VAL (an item's TIPE_SATU)
  std::vector<Unit> units;  // slot order
  uint16_t smallest = 0;    // id of the last slot whose count is 1
};

class UnitSets {
 public:
  UnitSets() = default;
  explicit UnitSets(std::vector<UnitSet> sets) : sets_(std::move(sets)) {}

  const std::vector<UnitSet>& sets() const { return sets_; }
  const UnitSet* Find(uint16_t set_id) const;  // first set with that id, nullptr when none
  // The smallest unit of the set, 0 when the set is unknown.
  uint16_t Smallest(uint16_t set_id) const;
  // The unit's text, "###" when the set or the unit is unknown.
  std::string UnitText(uint16_t set_id, uint16_t unit_id) const;
  // Smallest units in `unit_id` by the set; 0 when the set or unit is unknown.
  double SetFactor(uint16_t set_id, uint16_t unit_id) const;

 private:
  std::vector<UnitSet> sets_;
};

struct UnitReadResult {
  UnitSets sets;
  bool bad_set = false;  // reading stopped at a set without a smallest unit
};

// READ_SATUAN over an open work area (natural order, from the first record). A set without a
// smallest unit ends the reading; when sets were read before it, the bad-set message goes to
// `sink` as an error box. Deleted records are skipped. Fails only when the table cannot be read.
Result<UnitReadResult> ReadUnitSets(WorkArea& satuan, EventSink& sink);

// What a conversion needs to know about one item.
struct ItemUnits {
  int64_t item_id = 0;
  uint16_t unit_set = 0;   // TIPE_SATU
  uint16_t smallest = 0;   // the set's smallest unit
  std::array<double, kUnitSlots> item_factors{};  // SAT_K_01..SAT_K_10
};

// Where a conversion was asked for, for the texts of its errors.
struct ConversionNote {
  std::string date;  // empty: none given
  std::string note;  // empty: none given
};

// ITEM_CONV2SATUAN for an item already at hand: quantity in `from` converted into `to`.
// A zero unit (after 61111 is replaced by the smallest unit) fails with InvalidArgument whose
// message is the operator text "Convert Satuan: Satuan ID Invalid, Item ID: ...".
// An item id <= 0 or a zero quantity gives 0.
Result<double> ConvertItemUnits(const ItemUnits& item, const UnitSets& sets, bool per_item_factors,
                                double quantity, uint16_t from, uint16_t to,
                                const ConversionNote& where = {});

// ITEM_CONV2SATUAN through a work area of S_STOCK: positions it on the item (order ID) unless it
// already stands there. A missing item fails with NotFound whose message is the operator text
// "Convert Satuan: Item Hilang, Item ID: ...". A work area that had to move is left in order ID.
Result<double> ITEM_CONV2SATUAN(WorkArea& stock, const UnitSets& sets, bool per_item_factors,
                                int64_t item_id, double quantity, uint16_t from, uint16_t to,
                                const ConversionNote& where = {});

// Reads TIPE_SATU and SAT_K_01..SAT_K_10 of the work area's current record.
ItemUnits LoadItemUnits(const WorkArea& stock, const UnitSets& sets);

}  // namespace kt::data
