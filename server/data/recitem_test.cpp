// The price levels read from an item record: the levels the control record switches off are not
// read at all, so a table without their fields prices without complaint.
#include "server/data/recitem.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/testing/files.h"
#include "server/data/dbkontro.h"
#include "server/data/driver/work_area.h"

namespace kt::data {
namespace {

class CountingSink : public EventSink {
 public:
  void ErrorBox(std::string_view text) override { boxes.emplace_back(text); }
  std::vector<std::string> boxes;
};

TEST(PriceLevels, LevelsSwitchedOffAreNotRead) {
  kt::test_support::ScratchFolder scratch{"kt_data", "levels_"};
  const auto table = scratch.path() / "S_STOCK.G8A";
  // Four levels stored; the table has no fields of the fifth.
  std::vector<FieldSpec> fields;
  for (int n = 1; n <= 4; ++n) {
    const std::string nn = "_J_0" + std::to_string(n);
    for (const char* name : {"MU_H", "HARGA", "JML", "SAT", "DISC1", "DISC2", "DISC3"}) {
      fields.push_back({name + nn, 'N', 12, 2});
    }
  }
  ASSERT_TRUE(WorkArea::Create(table, fields).ok());
  {
    auto w = WorkArea::Open(table, "W", {true, false, false}).value();
    ASSERT_TRUE(w->AppendBlank().ok());
    for (int n = 1; n <= 4; ++n) {
      const std::string nn = "_J_0" + std::to_string(n);
      ASSERT_TRUE(w->PutNumber("MU_H" + nn, 1).ok());
      ASSERT_TRUE(w->PutNumber("HARGA" + nn, 1000.0 * n).ok());
      ASSERT_TRUE(w->PutNumber("JML" + nn, n).ok());
      ASSERT_TRUE(w->PutNumber("SAT" + nn, 1).ok());
    }
    ASSERT_TRUE(w->Commit().ok());
  }
  auto area = WorkArea::Open(table, "STOCK", {true, true, false}).value();
  ASSERT_TRUE(area->GoTo(1).ok());

  DBKONTRO kontro;
  kontro.LSTOCKHARGAJUAL = {false, false, true, false, true, false};  // levels 2 and 4 in use
  CountingSink sink;
  const auto levels = LoadPriceLevels(*area, kontro, sink);
  EXPECT_TRUE(sink.boxes.empty()) << sink.boxes.front();
  const double want[] = {1000, 2000, 0, 4000, 0};
  for (int n = 0; n < kPriceLevels; ++n) EXPECT_EQ(levels[n].price, want[n]) << "level " << n + 1;

  // Switched on, the fifth level's missing fields are reported (and read as 0).
  kontro.LSTOCKHARGAJUAL[5] = true;
  const auto all = LoadPriceLevels(*area, kontro, sink);
  EXPECT_FALSE(sink.boxes.empty());
  EXPECT_EQ(all[4].price, 0);
  EXPECT_EQ(all[2].price, 0);  // still off
}

}  // namespace
}  // namespace kt::data
