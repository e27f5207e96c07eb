#include "server/data/database.h"

#include <gtest/gtest.h>

#include "server/data/demo_fixture.h"
#include "server/data/item_lookup.h"
#include "server/data/messages.h"

namespace kt::data {
namespace {

using demo::Row;
using testing::DemoDataTest;

using DatabaseOpen = DemoDataTest;

TEST_F(DatabaseOpen, LoadsControlRecordListsUnitsAndWidths) {
  ASSERT_TRUE(Open());
  EXPECT_TRUE(globals_.IsDatabaseOpen());
  EXPECT_TRUE(sink_.boxes.empty()) << sink_.boxes[0];
  auto db = globals_.Database();
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(db->kontro.VERSI, 830);
  EXPECT_TRUE(db->kontro.LSTOCKMULTIKODE);
  EXPECT_EQ(db->kontro.CSTOCKKODECLEAR, "#");
  EXPECT_EQ(db->kontro.WarehouseName(1), "Toko Depan");
  EXPECT_EQ(db->WLENSTOCKKODEC, 20);
  EXPECT_EQ(db->WLENSTOCKKODEN, 15);
  EXPECT_EQ(db->CodeWidth(), 20);
  ASSERT_EQ(db->ALISTMAUANG.size(), 2u);
  EXPECT_EQ(db->ALISTMAUANG[1].code, "USD");
  EXPECT_EQ(db->ALISTMAUANG[1].decimals, 2);
  ASSERT_EQ(db->ALISTMUHJBU.size(), 2u);  // the deleted rule is skipped
  EXPECT_DOUBLE_EQ(db->ALISTMUHJBU[0].upper, 499);
  EXPECT_EQ(db->ALISTLIBNAS.size(), 5u);
  EXPECT_TRUE(db->IsHoliday(Date{2026, 8, 17}));
  EXPECT_FALSE(db->IsHoliday(Date{2026, 8, 18}));
  EXPECT_EQ(db->ALISTGRPST2.size(), 3u);
  EXPECT_EQ(db->ALISTKARYAW.size(), 2u);
  EXPECT_EQ(db->ALISTDIVISI.size(), 2u);
  ASSERT_EQ(db->units.sets().size(), 5u);
  EXPECT_EQ(db->units.UnitText(1, 3), "CTN");
  EXPECT_EQ(db->units.Smallest(2), 4);
}

TEST_F(DatabaseOpen, LocationFormsGiveTheSameDataFolder) {
  for (const std::string& location :
       {root_.path().string(), root_.path().string() + "/", root_.path().string() + "/ST_DB/",
        root_.path().string() + "/st_db"}) {
    EXPECT_TRUE(Open(location)) << location << (sink_.boxes.empty() ? "" : ": " + sink_.boxes.back());
  }
}

TEST_F(DatabaseOpen, FailuresReportTheirMessageAndLeaveTheDatabaseClosed) {
  ASSERT_TRUE(Open());
  ConfigValues config = globals_.Config();
  config.location = "  ";
  globals_.SetConfig(config);
  EXPECT_FALSE(DBMAINOPEN(globals_, sink_));
  EXPECT_FALSE(globals_.IsDatabaseOpen());
  ASSERT_EQ(sink_.boxes.size(), 1u);
  EXPECT_EQ(sink_.boxes[0], msg::kLocationNotSet);

  // A table no lookup reads must still be there.
  sink_.Clear();
  std::filesystem::remove(data_folder() / "S_KONCAB.G8A");
  EXPECT_FALSE(Open());
  ASSERT_EQ(sink_.boxes.size(), 1u);
  EXPECT_EQ(sink_.boxes[0], "Gagal buke file S_KONCAB !");
  // The log names the file and the cause; the box keeps the operator's text.
  ASSERT_FALSE(sink_.scans.empty());
  EXPECT_EQ(sink_.scans.back().rfind("### Gagal buke file S_KONCAB ! (", 0), 0u) << sink_.scans.back();
  EXPECT_NE(sink_.scans.back().find("S_KONCAB.G8A: no such file)"), std::string::npos) << sink_.scans.back();
}

TEST_F(DatabaseOpen, DataVersionAtLeast826) {
  for (int version : {825, 826}) {
    sink_.Clear();
    RewriteKontro([&](Row& row) { row.Set("VERSI", version); });
    EXPECT_EQ(Open(), version == 826) << version;
    if (version == 825) {
      ASSERT_EQ(sink_.boxes.size(), 1u);
      EXPECT_EQ(sink_.boxes[0], msg::kVersionTooOld);
    }
  }
}

TEST_F(DatabaseOpen, MissingCodeFieldIsReportedWithItsAlias) {
  demo::TableDef stock = demo::StockTable();
  std::erase_if(stock.fields, [](const FieldSpec& f) { return f.name == "KODE_N"; });
  Rewrite(stock, {});
  EXPECT_FALSE(Open());
  ASSERT_EQ(sink_.boxes.size(), 1u);
  EXPECT_EQ(sink_.boxes[0], "[Alias : S_STOCK] -> FieldName \"KODE_N\" not found<FIELDLEN> !");
}

TEST_F(DatabaseOpen, UnitSetWithoutSmallestUnitEndsTheReading) {
  std::vector<Row> sets = demo::DemoUnitSetRows();
  // The second set has no unit of count 1: it and every later set are dropped.
  sets[1].Set("SAT_01_SAT", 5.0);
  Rewrite(demo::SatuanTable(), sets);
  ASSERT_TRUE(Open());
  ASSERT_EQ(sink_.boxes.size(), 1u);
  EXPECT_EQ(sink_.boxes[0], msg::kBadUnitSet);
  EXPECT_EQ(globals_.Database()->units.sets().size(), 1u);

  // A bad first set leaves the list empty without a message.
  sink_.Clear();
  sets = demo::DemoUnitSetRows();
  sets[0].Set("SAT_01_SAT", 2.0);
  Rewrite(demo::SatuanTable(), sets);
  ASSERT_TRUE(Open());
  EXPECT_TRUE(sink_.boxes.empty());
  EXPECT_TRUE(globals_.Database()->units.sets().empty());
}

TEST_F(DatabaseOpen, UnitSlotsStopAtTheFirstEmptyText) {
  std::vector<Row> sets = demo::DemoUnitSetRows();
  sets[0].Set("SAT_02_TXT", "").Set("SAT_04_TXT", "PAL").Set("SAT_04_VAL", 11).Set("SAT_04_SAT", 1000.0);
  Rewrite(demo::SatuanTable(), sets);
  ASSERT_TRUE(Open());
  const UnitSet* set = globals_.Database()->units.Find(1);
  ASSERT_NE(set, nullptr);
  ASSERT_EQ(set->units.size(), 1u);
  EXPECT_EQ(set->units[0].text, "PCS");
  EXPECT_EQ(globals_.Database()->units.UnitText(1, 11), "###");
}

TEST_F(DatabaseOpen, SessionTablesOpenOnlyAfterTheDatabase) {
  ITEMPENJUAECERAN lookup(globals_, sink_);
  lookup.SetConnectionNumber(7);
  EXPECT_EQ(lookup.CSTOCK, "STOCK7");
  EXPECT_EQ(lookup.CKURSMA, "KURSMA7");
  EXPECT_FALSE(lookup.DBSUBOPEN());
  EXPECT_TRUE(sink_.scans.empty());

  ASSERT_TRUE(Open());
  EXPECT_TRUE(lookup.DBSUBOPEN());
  EXPECT_EQ(lookup.StockAlias(), "STOCK7");
  lookup.DBSUBCLOSE();
  EXPECT_EQ(lookup.StockAlias(), "");

  std::filesystem::remove(data_folder() / "S_STKPRO.G8A");
  EXPECT_FALSE(lookup.DBSUBOPEN());
  ASSERT_EQ(sink_.scans.size(), 1u);
  EXPECT_EQ(sink_.scans[0].rfind("### Gagal buke file S_STKPRO ! (", 0), 0u) << sink_.scans[0];
  EXPECT_NE(sink_.scans[0].find("S_STKPRO.G8A: no such file)"), std::string::npos) << sink_.scans[0];
  EXPECT_EQ(lookup.StockAlias(), "");  // what had opened is closed again
}

TEST_F(DatabaseOpen, NewLocationServesNewSessions) {
  ASSERT_TRUE(Open());
  testing::TempFolder other;
  test_support::CopyTree(root_.path(), other.path());
  Rewrite(demo::StockTable(), {});  // the old folder loses its items
  ASSERT_TRUE(Open(other.path().string()));
  ITEMPENJUAECERAN lookup(globals_, sink_);
  lookup.SetConnectionNumber(1);
  ASSERT_TRUE(lookup.DBSUBOPEN());
  lookup.SEEKKODE("AQ600");
  EXPECT_TRUE(lookup.SEEKFOUND()) << lookup.CERRORMESS;
}

}  // namespace
}  // namespace kt::data
