#include "server/data/demo/demo_data.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "server/data/driver/work_area.h"
#include "server/data/test_support.h"

namespace kt::data::demo {
namespace {

class DemoDataSet : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    root_ = new testing::TempFolder();
    const Status written = WriteDemoDataSet(root_->path());
    ASSERT_TRUE(written.ok()) << written.ToString();
  }
  static void TearDownTestSuite() { delete root_; }

  static std::unique_ptr<WorkArea> OpenTable(const std::string& name) {
    auto area = WorkArea::Open(root_->path() / "ST_DB" / (name + ".G8A"), name);
    EXPECT_TRUE(area.ok()) << name << ": " << area.status().ToString();
    return area.ok() ? std::move(area).value() : nullptr;
  }

  static testing::TempFolder* root_;
};
testing::TempFolder* DemoDataSet::root_ = nullptr;

TEST_F(DemoDataSet, EveryTableWithItsIndex) {
  const std::map<std::string, std::set<std::string>> tags = {
      {"S_KONCAB", {"ID"}},  {"S_DIVISI", {"ID"}},   {"S_MAUANG", {"ID"}},  {"S_MUHJBU", {"MAUANG_NIL"}},
      {"S_GRPSTK", {"ID"}},  {"S_GRPST2", {"ID"}},   {"S_GRPST3", {"ID"}},  {"S_KARYAW", {"ID"}},
      {"S_LIBNAS", {"TANGGAL"}}, {"S_PELANG", {"ID"}}, {"S_PELSTK", {"STOCK"}}, {"S_STKHJL", {"STOCK"}},
      {"S_STKPRO", {"STOCK_TGL1", "STOCK_TGL2", "STOCK_TGL3"}}, {"S_KURSMA", {"MU_TGL_PK"}},
      {"S_STOCK", {"KODE", "KODE_2", "KODE_3", "KODE_4", "KODE_5", "BARCODE", "ID"}},
      // The control record and the unit sets are read in natural order and have no index.
      {"S_KONTRO", {}}, {"S_SATUAN", {}},
  };
  for (const auto& [table, expected] : tags) {
    auto area = OpenTable(table);
    ASSERT_NE(area, nullptr);
    std::set<std::string> present;
    for (const TagInfo& tag : area->Tags()) present.insert(tag.name);
    EXPECT_EQ(present, expected) << table;
    EXPECT_GT(area->RecCount().value_or(0), 0u) << table;
  }
}

TEST_F(DemoDataSet, ItemsShowEveryKindOfName) {
  auto stock = OpenTable("S_STOCK");
  ASSERT_NE(stock, nullptr);
  const uint32_t count = stock->RecCount().value_or(0);
  EXPECT_EQ(count, 300u);
  std::set<std::size_t> lengths;
  std::set<std::string> names, codes;
  int hidden = 0, not_retail = 0, off_in_1 = 0, barcodes = 0, alt = 0;
  ASSERT_TRUE(stock->GoTop().ok());
  for (; !stock->Eof(); static_cast<void>(stock->Skip())) {
    std::string name = stock->GetString("NAMA").value();
    name.erase(name.find_last_not_of(' ') + 1);
    lengths.insert(name.size());
    names.insert(name);
    codes.insert(stock->GetString("KODE_C").value());
    hidden += stock->GetLogical("HIDE").value();
    not_retail += !stock->GetLogical("ITM_PENJEC").value();
    off_in_1 += !stock->GetLogical("GUDANG_01").value();
    barcodes += stock->GetString("BARCODE").value().find_first_not_of(' ') != std::string::npos;
    alt += stock->GetString("KODE_2").value().find_first_not_of(' ') != std::string::npos;
  }
  for (std::size_t length : {std::size_t{18}, std::size_t{33}, std::size_t{60}}) {
    EXPECT_TRUE(lengths.count(length)) << length;
  }
  EXPECT_LT(*lengths.begin(), 18u);
  EXPECT_EQ(names.size(), count);  // no two items share a name
  EXPECT_EQ(codes.size(), count);
  EXPECT_GT(hidden, 1);
  EXPECT_GT(not_retail, 1);
  EXPECT_GT(off_in_1, 1);
  EXPECT_GT(barcodes, 200);
  EXPECT_GT(alt, 50);
}

TEST_F(DemoDataSet, PromotionsOfTheThreeKinds) {
  auto promo = OpenTable("S_STKPRO");
  ASSERT_NE(promo, nullptr);
  std::map<int, int> kinds;
  bool expired = false, weekday = false, window = false;
  ASSERT_TRUE(promo->GoTop().ok());
  for (; !promo->Eof(); static_cast<void>(promo->Skip())) {
    ++kinds[static_cast<int>(promo->GetNumber("TIPE_PRO").value())];
    expired = expired || promo->GetDate("TANGGAL_2").value() < Date{2026, 1, 1};
    weekday = weekday || promo->GetString("HARI").value() == "11111000";
    window = window || promo->GetNumber("PUKUL_1").value() > 0;
  }
  EXPECT_GT(kinds[1], 0);
  EXPECT_GT(kinds[2], 0);
  EXPECT_GT(kinds[3], 0);
  EXPECT_TRUE(expired);
  EXPECT_TRUE(weekday);
  EXPECT_TRUE(window);
}

TEST_F(DemoDataSet, EnlargedSetKeepsCodesUnique) {
  testing::TempFolder big;
  ASSERT_TRUE(WriteDemoDataSet(big.path(), {5000}).ok());
  auto stock = WorkArea::Open(big.path() / "ST_DB" / "S_STOCK.G8A", "S_STOCK");
  ASSERT_TRUE(stock.ok());
  EXPECT_EQ((*stock)->RecCount().value_or(0), 5000u);
  ASSERT_TRUE((*stock)->SetOrder("KODE").ok());
  std::string previous;
  ASSERT_TRUE((*stock)->GoTop().ok());
  for (; !(*stock)->Eof(); static_cast<void>((*stock)->Skip())) {
    const std::string code = (*stock)->GetString("KODE_C").value();
    EXPECT_LT(previous, code);
    previous = code;
  }
}

}  // namespace
}  // namespace kt::data::demo
