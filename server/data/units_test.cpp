#include "server/data/units.h"

#include <gtest/gtest.h>

#include "server/data/messages.h"

namespace kt::data {
namespace {

// PCS (1), BOX (12), CTN (144) in set 1; KG (1), GRAM? none: set 2 has only one unit.
UnitSets SampleSets() {
  return UnitSets({
      {"PCS/BOX/CTN", 1, {{"PCS", 1, 1}, {"BOX", 2, 12}, {"CTN", 3, 144}}, 1},
      {"KG", 2, {{"KG", 5, 1}}, 5},
  });
}

ItemUnits Item(uint16_t set, uint16_t smallest) {
  ItemUnits item;
  item.item_id = 7;
  item.unit_set = set;
  item.smallest = smallest;
  return item;
}

TEST(Units, ConversionsThroughTheSmallestUnit) {
  const UnitSets sets = SampleSets();
  const ItemUnits item = Item(1, 1);
  struct Case {
    double quantity;
    uint16_t from, to;
    double expected;
  } cases[] = {
      {2, 2, 1, 24},     // 2 BOX = 24 PCS
      {30, 1, 2, 2.5},   // 30 PCS = 2.5 BOX
      {1, 3, 2, 12},     // 1 CTN = 12 BOX
      {5, 2, 2, 5},      // same unit
      {0, 2, 1, 0},      // zero quantity
      {2, 2, kSmallestUnitAlias, 24},
      {24, kSmallestUnitAlias, 2, 2},
      {3, 9, 1, 0},      // unit not in the set: factor 0
      {3, 1, 9, 0},      // divisor 0
  };
  for (const Case& c : cases) {
    auto result = ConvertItemUnits(item, sets, false, c.quantity, c.from, c.to);
    ASSERT_TRUE(result.ok()) << result.status().ToString();
    EXPECT_DOUBLE_EQ(*result, c.expected) << c.quantity << " " << c.from << "->" << c.to;
  }
}

TEST(Units, PerItemFactorsOverrideTheSet) {
  const UnitSets sets = SampleSets();
  ItemUnits item = Item(1, 1);
  item.item_factors[1] = 10;  // SAT_K_02
  auto result = ConvertItemUnits(item, sets, true, 3, 2, 1);
  ASSERT_TRUE(result.ok());
  EXPECT_DOUBLE_EQ(*result, 30);
  result = ConvertItemUnits(item, sets, false, 3, 2, 1);
  ASSERT_TRUE(result.ok());
  EXPECT_DOUBLE_EQ(*result, 36);
}

TEST(Units, ZeroUnitFailsWithTheOperatorText) {
  const UnitSets sets = SampleSets();
  const ItemUnits item = Item(99, 0);  // unknown set: no smallest unit
  auto result = ConvertItemUnits(item, sets, false, 1, 2, kSmallestUnitAlias, {"", "lookup"});
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.status().message(),
            std::string(msg::kConvUnitInvalid) + "7  ( 2 - 61111 )\r\nlookup");
  // An item id <= 0 gives 0 before any check.
  ItemUnits none = item;
  none.item_id = 0;
  EXPECT_DOUBLE_EQ(ConvertItemUnits(none, sets, false, 1, 2, 0).value(), 0);
}

TEST(Units, UnitTexts) {
  const UnitSets sets = SampleSets();
  EXPECT_EQ(sets.UnitText(1, 2), "BOX");
  EXPECT_EQ(sets.UnitText(1, 4), "###");
  EXPECT_EQ(sets.UnitText(8, 1), "###");
  EXPECT_EQ(sets.Smallest(2), 5);
  EXPECT_EQ(sets.Smallest(8), 0);
}

}  // namespace
}  // namespace kt::data
