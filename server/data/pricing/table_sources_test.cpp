// The promotion and rate readers on real tables with real compound indexes.
#include "server/data/pricing/table_sources.h"

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "server/data/demo/schema.h"
#include "server/data/demo/table_writer.h"
#include "server/data/pricing/engine.h"
#include "server/data/pricing/price_text.h"

namespace kt::data::pricing {
namespace {

namespace fs = std::filesystem;
using demo::Row;

class TempFolder {
 public:
  TempFolder() {
    path_ = fs::temp_directory_path() /
            ("kt_pricing_" + std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

std::unique_ptr<WorkArea> OpenTable(const fs::path& folder, const std::string& name) {
  Result<std::unique_ptr<WorkArea>> area = WorkArea::Open(folder / (name + ".G8A"), name + "1");
  EXPECT_TRUE(area.ok()) << area.status().ToString();
  return area.ok() ? std::move(area).value() : nullptr;
}

Row Promo(int64_t item, int kind, Date from, Date to, double price_level1 = 0) {
  Row row;
  row.Set("STOCK_ID", static_cast<double>(item)).Set("TIPE_PRO", kind).Set("TANGGAL_1", from).Set("TANGGAL_2", to);
  if (price_level1 != 0) {
    row.Set("MU_H_J_01", 1).Set("HARGA_J_01", price_level1).Set("JML_J_01", 1.0).Set("SAT_J_01", 1);
  }
  return row;
}

// December 2026: the 7th is a Monday; the 25th is a holiday.
class PromotionTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<Row> rows;
    // Item 42, special prices: early December, then a weekday morning offer, then a record that
    // would be valid but is deleted.
    rows.push_back(Promo(42, 3, {2026, 12, 1}, {2026, 12, 10}, 9900));
    rows.push_back(Promo(42, 3, {2026, 12, 11}, {2026, 12, 31}, 9000).Set("HARI", "11111000").Set("PUKUL_1", 480).Set("PUKUL_2", 600));
    Row deleted = Promo(42, 3, {2026, 12, 12}, {2026, 12, 31}, 1);
    deleted.deleted = true;
    rows.push_back(deleted);
    rows.push_back(Promo(42, 3, {2026, 12, 25}, {2026, 12, 25}, 7777).Set("HARI", "00000001"));
    // Item 42, a percentage promotion and a value promotion.
    rows.push_back(Promo(42, 1, {2026, 12, 1}, {2026, 12, 31}).Set("DISC_PERS1", 10.0).Set("DISC_PERS2", 5.5).Set("DISC_PERS3", 2.25));
    rows.push_back(Promo(42, 2, {2026, 12, 1}, {2026, 12, 31}).Set("MU_DISC_NL", 2).Set("DISC_NILAI", 0.5).Set("DISC_SAT", 12));
    // Neighbours whose identifiers share digits with 42.
    rows.push_back(Promo(4, 3, {2026, 1, 1}, {2027, 12, 31}, 4));
    rows.push_back(Promo(420, 3, {2026, 1, 1}, {2027, 12, 31}, 420));
    rows.push_back(Promo(43, 1, {2026, 1, 1}, {2027, 12, 31}).Set("DISC_PERS1", 43.0));
    ASSERT_TRUE(demo::WriteTable(folder_.path(), demo::StkproTable(), rows).ok());
    area_ = OpenTable(folder_.path(), "S_STKPRO");
    ASSERT_NE(area_, nullptr);
  }

  // Asks a source that searches every time and one that first asks the session's list of items
  // with promotions (kept from question to question); both must answer alike.
  std::optional<Promotion> Find(PromotionKind kind, int64_t item, LookupTime when) {
    TablePromotionSource listed(*area_, holidays_, &items_);
    Result<std::optional<Promotion>> from_list = listed.FindValid(kind, item, when);
    EXPECT_TRUE(from_list.ok()) << from_list.status().ToString();
    TablePromotionSource source(*area_, holidays_);
    Result<std::optional<Promotion>> found = source.FindValid(kind, item, when);
    EXPECT_TRUE(found.ok()) << found.status().ToString();
    if (!found.ok() || !from_list.ok()) return std::nullopt;
    EXPECT_EQ(from_list->has_value(), found->has_value()) << item;
    if (*from_list && *found) {
      EXPECT_EQ((*from_list)->levels[0].price, (*found)->levels[0].price) << item;
    }
    return *found;
  }

  TempFolder folder_;
  HolidayList holidays_{{{2026, 12, 25}}};
  std::unique_ptr<WorkArea> area_;
  PromotionItems items_;
};

TEST_F(PromotionTableTest, FirstValidSpecialPrice) {
  struct Case {
    const char* name;
    int64_t item;
    LookupTime when;
    double price;  // 0: no promotion
  } const cases[] = {
      {"first window, last day", 42, {{2026, 12, 10}, 1200}, 9900},
      {"second window: Monday 08:00", 42, {{2026, 12, 14}, 480}, 9000},
      {"second window: Monday 10:00", 42, {{2026, 12, 14}, 600}, 9000},
      {"second window: Monday 10:01", 42, {{2026, 12, 14}, 601}, 0},
      {"second window: Saturday (deleted record skipped)", 42, {{2026, 12, 12}, 540}, 0},
      {"holiday: only the holiday offer", 42, {{2026, 12, 25}, 540}, 7777},
      {"before every window", 42, {{2026, 11, 30}, 540}, 0},
      {"item 4 is not item 42", 4, {{2026, 12, 14}, 0}, 4},
      {"item 420", 420, {{2026, 12, 14}, 0}, 420},
      {"item without promotions", 41, {{2026, 12, 14}, 0}, 0},
      {"item beyond the last", 9999, {{2026, 12, 14}, 0}, 0},
      {"no item", 0, {{2026, 12, 14}, 0}, 0},
  };
  for (const Case& c : cases) {
    const std::optional<Promotion> found = Find(PromotionKind::kSpecialPrice, c.item, c.when);
    EXPECT_EQ(found.has_value(), c.price != 0) << c.name;
    if (found && c.price != 0) {
      EXPECT_DOUBLE_EQ(found->levels[0].price, c.price) << c.name;
    }
  }
}

TEST_F(PromotionTableTest, KindsAreSeparateAndFieldsAreRead) {
  const LookupTime when{{2026, 12, 14}, 700};
  const std::optional<Promotion> percentage = Find(PromotionKind::kPercentage, 42, when);
  ASSERT_TRUE(percentage.has_value());
  EXPECT_EQ(percentage->percentages, (std::array<double, 3>{10, 5.5, 2.25}));
  // The found record stays current.
  EXPECT_DOUBLE_EQ(*area_->GetNumber("DISC_PERS2"), 5.5);

  const std::optional<Promotion> value = Find(PromotionKind::kValue, 42, when);
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(value->value_currency, 2);
  EXPECT_DOUBLE_EQ(value->value, 0.5);
  EXPECT_EQ(value->value_unit, 12);
  EXPECT_DOUBLE_EQ(Find(PromotionKind::kPercentage, 43, when)->percentages[0], 43);
  EXPECT_FALSE(Find(PromotionKind::kValue, 43, when).has_value());

  const std::optional<Promotion> special = Find(PromotionKind::kSpecialPrice, 42, {{2026, 12, 1}, 0});
  ASSERT_TRUE(special.has_value());
  EXPECT_EQ(special->levels[0].currency, 1);
  EXPECT_EQ(special->levels[0].unit, 1);
  EXPECT_DOUBLE_EQ(special->levels[0].quantity, 1);
  EXPECT_EQ(special->levels[1].price, 0);
}

// A promotion entered while the server runs applies from the next scan on, though the session's
// list of items with promotions was read before it; so does a record moved to another item.
TEST_F(PromotionTableTest, TheListOfItemsFollowsTheTable) {
  const LookupTime when{{2026, 12, 14}, 700};
  EXPECT_FALSE(Find(PromotionKind::kPercentage, 41, when).has_value());
  EXPECT_FALSE(Find(PromotionKind::kSpecialPrice, 43, when).has_value());

  auto writer = WorkArea::Open(folder_.path() / "S_STKPRO.G8A", "W", OpenOptions{true, false, true});
  ASSERT_TRUE(writer.ok()) << writer.status().ToString();
  WorkArea& w = **writer;
  ASSERT_TRUE(w.AppendBlank().ok());
  ASSERT_TRUE(w.PutNumber("STOCK_ID", 41).ok());
  ASSERT_TRUE(w.PutNumber("TIPE_PRO", 1).ok());
  ASSERT_TRUE(w.PutDate("TANGGAL_1", {2026, 12, 1}).ok());
  ASSERT_TRUE(w.PutDate("TANGGAL_2", {2026, 12, 31}).ok());
  ASSERT_TRUE(w.PutNumber("DISC_PERS1", 7).ok());
  ASSERT_TRUE(w.Commit().ok());
  const std::optional<Promotion> added = Find(PromotionKind::kPercentage, 41, when);
  ASSERT_TRUE(added.has_value());
  EXPECT_DOUBLE_EQ(added->percentages[0], 7);

  // Item 420's special price becomes item 43's.
  ASSERT_TRUE(w.SetOrder("STOCK_TGL3").ok());
  ASSERT_TRUE(*w.Seek("0000000420", false));
  ASSERT_TRUE(w.PutNumber("STOCK_ID", 43).ok());
  ASSERT_TRUE(w.Commit().ok());
  const std::optional<Promotion> moved = Find(PromotionKind::kSpecialPrice, 43, when);
  ASSERT_TRUE(moved.has_value());
  EXPECT_DOUBLE_EQ(moved->levels[0].price, 420);
  EXPECT_FALSE(Find(PromotionKind::kSpecialPrice, 420, when).has_value());
}

// Sessions on their own threads share the lists while the back office adds promotions: an item
// that has a record is never reported without one, and the new records are seen afterwards.
TEST(PromotionItemsShared, SessionsShareTheListsWhileTheTableGrows) {
  TempFolder folder;
  std::vector<Row> rows;
  for (int item = 1; item <= 40; ++item) rows.push_back(Promo(item, 1, {2026, 1, 1}, {2026, 12, 31}));
  ASSERT_TRUE(demo::WriteTable(folder.path(), demo::StkproTable(), rows).ok());

  constexpr int kSessions = 4;
  std::vector<std::thread> sessions;
  std::vector<int> misses(kSessions, 0);
  for (int s = 0; s < kSessions; ++s) {
    sessions.emplace_back([&, s] {
      auto area = WorkArea::Open(folder.path() / "S_STKPRO.G8A", "S" + std::to_string(s));
      if (!area.ok()) {
        ++misses[static_cast<std::size_t>(s)];
        return;
      }
      PromotionItems items;
      for (int round = 0; round < 50; ++round) {
        for (int item = 1; item <= 40; ++item) {
          if (!items.MayHave(**area, "STOCK_TGL1", item)) ++misses[static_cast<std::size_t>(s)];
        }
      }
    });
  }
  auto writer = WorkArea::Open(folder.path() / "S_STKPRO.G8A", "W", OpenOptions{true, false, true});
  ASSERT_TRUE(writer.ok()) << writer.status().ToString();
  for (int item = 41; item <= 45; ++item) {
    ASSERT_TRUE((*writer)->AppendBlank().ok());
    ASSERT_TRUE((*writer)->PutNumber("STOCK_ID", item).ok());
    ASSERT_TRUE((*writer)->PutNumber("TIPE_PRO", 1).ok());
    ASSERT_TRUE((*writer)->Commit().ok());
  }
  for (std::thread& t : sessions) t.join();
  for (int s = 0; s < kSessions; ++s) EXPECT_EQ(misses[static_cast<std::size_t>(s)], 0) << s;

  std::unique_ptr<WorkArea> area = OpenTable(folder.path(), "S_STKPRO");
  ASSERT_NE(area, nullptr);
  PromotionItems items;
  for (int item = 41; item <= 45; ++item) EXPECT_TRUE(items.MayHave(*area, "STOCK_TGL1", item)) << item;
  EXPECT_FALSE(items.MayHave(*area, "STOCK_TGL1", 46));
  EXPECT_FALSE(items.MayHave(*area, "STOCK_TGL2", 1));  // the item has no record of that kind
}

TEST(PromotionTable, TableWithoutIndexHasNoPromotions) {
  TempFolder folder;
  demo::TableDef def = demo::StkproTable();
  def.tags.clear();
  ASSERT_TRUE(demo::WriteTable(folder.path(), def, {Promo(42, 3, {2026, 1, 1}, {2027, 1, 1}, 5)}).ok());
  std::unique_ptr<WorkArea> area = OpenTable(folder.path(), "S_STKPRO");
  ASSERT_NE(area, nullptr);
  HolidayList holidays;
  TablePromotionSource source(*area, holidays);
  Result<std::optional<Promotion>> found = source.FindValid(PromotionKind::kSpecialPrice, 42, {{2026, 6, 1}, 0});
  ASSERT_TRUE(found.ok());
  EXPECT_FALSE(found->has_value());
}

Row Rate(int currency, Date date, const char* time, double jual) {
  Row row;
  row.Set("MAUANG_ID", currency).Set("TANGGAL", date).Set("MUL_PUKUL", time);
  row.Set("KURS_BELI", jual - 100).Set("KURS_JUAL", jual).Set("KURS_JUAL2", jual + 1);
  row.Set("KURS_JUAL3", jual + 2).Set("KURS_JUAL4", jual + 3).Set("KURS_JUAL5", jual + 4);
  return row;
}

class RateTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<Row> rows = {
        Rate(2, {2026, 12, 10}, "12:00", 15200),  // stored out of date order on purpose
        Rate(1, {2026, 1, 1}, "00:00", 1),
        Rate(2, {2026, 12, 1}, "00:00", 15000),
        Rate(2, {2026, 12, 10}, "08:00", 15100),
        Rate(2, {2026, 12, 11}, "     ", 15300),  // no time: counts from the start of the day
        Rate(2, {2026, 12, 20}, "09:00", 15400),
        Rate(2, {2026, 12, 20}, "09:00", 15450),  // same moment: the later record wins
        Rate(2, {2026, 12, 22}, "09:00", 15500),
        Rate(3, {2026, 12, 9}, "10:00", 0.01),
    };
    Row deleted = Rate(2, {2026, 12, 21}, "09:00", 99999);
    deleted.deleted = true;
    rows.push_back(deleted);
    ASSERT_TRUE(demo::WriteTable(folder_.path(), demo::KursmaTable(), rows).ok());
    area_ = OpenTable(folder_.path(), "S_KURSMA");
    ASSERT_NE(area_, nullptr);
  }

  // Asks twice through the session's memo of answers (the second time from the memo) and once
  // without it; all three must agree.
  double Latest(uint16_t currency, LookupTime when, int kind = 2) {
    double answers[3];
    for (int i = 0; i < 3; ++i) {
      TableRateSource source(*area_, i < 2 ? &memo_ : nullptr);
      Result<std::optional<RateRecord>> rate = source.LatestRate(currency, when);
      EXPECT_TRUE(rate.ok()) << rate.status().ToString();
      answers[i] = !rate.ok() || !rate->has_value() ? -1 : (*rate)->rates[static_cast<std::size_t>(RateKindIndex(kind))];
    }
    EXPECT_EQ(answers[0], answers[1]);
    EXPECT_EQ(answers[0], answers[2]);
    return answers[0];
  }

  TempFolder folder_;
  std::unique_ptr<WorkArea> area_;
  RateMemo memo_;
};

TEST_F(RateTableTest, LatestRateNotAfterTheMoment) {
  struct Case {
    const char* name;
    uint16_t currency;
    LookupTime when;
    double rate;  // -1: none
  } const cases[] = {
      {"before the day's first change", 2, {{2026, 12, 10}, 479}, 15000},
      {"at the change itself", 2, {{2026, 12, 10}, 480}, 15100},
      {"between two changes", 2, {{2026, 12, 10}, 719}, 15100},
      {"at the second change", 2, {{2026, 12, 10}, 720}, 15200},
      {"late that day", 2, {{2026, 12, 10}, 1439}, 15200},
      {"a record without time, at midnight", 2, {{2026, 12, 11}, 0}, 15300},
      {"days later", 2, {{2026, 12, 19}, 1000}, 15300},
      {"two records at one moment", 2, {{2026, 12, 20}, 540}, 15450},
      {"deleted record skipped", 2, {{2026, 12, 21}, 600}, 15450},
      {"after the last record", 2, {{2027, 6, 1}, 0}, 15500},
      {"before the first record", 2, {{2026, 11, 30}, 1439}, -1},
      {"first currency", 1, {{2026, 6, 1}, 0}, 1},
      {"before the last currency's only record", 3, {{2026, 12, 9}, 599}, -1},
      {"last currency", 3, {{2026, 12, 9}, 600}, 0.01},
      {"currency without records, between others", 0, {{2026, 12, 9}, 600}, -1},
      {"currency beyond every record", 9, {{2026, 12, 9}, 600}, -1},
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(Latest(c.currency, c.when), c.rate) << c.name;
}

// A rate corrected in place, a rate deleted and a new rate entered while the server runs are
// used from the next scan on, within the same minute.
TEST_F(RateTableTest, RememberedAnswersFollowTheTable) {
  const LookupTime when{{2026, 12, 10}, 700};
  ASSERT_DOUBLE_EQ(Latest(2, when), 15100);

  auto writer = WorkArea::Open(folder_.path() / "S_KURSMA.G8A", "W", OpenOptions{true, false, true});
  ASSERT_TRUE(writer.ok()) << writer.status().ToString();
  WorkArea& w = **writer;
  ASSERT_TRUE(w.GoTo(4).ok());  // 2026-12-10 08:00
  ASSERT_TRUE(w.PutNumber("KURS_JUAL", 15111).ok());
  ASSERT_TRUE(w.Commit().ok());
  EXPECT_DOUBLE_EQ(Latest(2, when), 15111);

  ASSERT_TRUE(w.AppendBlank().ok());
  ASSERT_TRUE(w.PutNumber("MAUANG_ID", 2).ok());
  ASSERT_TRUE(w.PutDate("TANGGAL", {2026, 12, 10}).ok());
  ASSERT_TRUE(w.PutString("MUL_PUKUL", "11:00").ok());
  ASSERT_TRUE(w.PutNumber("KURS_JUAL", 15150).ok());
  ASSERT_TRUE(w.Commit().ok());
  EXPECT_DOUBLE_EQ(Latest(2, when), 15150);

  ASSERT_TRUE(w.SetDeleted(true).ok());
  ASSERT_TRUE(w.Commit().ok());
  EXPECT_DOUBLE_EQ(Latest(2, when), 15111);
}

TEST_F(RateTableTest, EveryRateKindIsRead) {
  const LookupTime when{{2026, 12, 10}, 480};
  const double expected[] = {15000, 15100, 15101, 15102, 15103, 15104};
  for (int kind = 1; kind <= 6; ++kind) EXPECT_DOUBLE_EQ(Latest(2, when, kind), expected[kind - 1]) << kind;
}

// The whole price of a line from real promotion and rate tables.
TEST(PricingOnTables, ForeignPriceWithPromotions) {
  TempFolder folder;
  std::vector<Row> promos = {
      Promo(7, 1, {2026, 12, 1}, {2026, 12, 31}).Set("DISC_PERS1", 10.0),
      Promo(7, 2, {2026, 12, 1}, {2026, 12, 31}).Set("MU_DISC_NL", 2).Set("DISC_NILAI", 0.1).Set("DISC_SAT", 1),
  };
  ASSERT_TRUE(demo::WriteTable(folder.path(), demo::StkproTable(), promos).ok());
  ASSERT_TRUE(demo::WriteTable(folder.path(), demo::KursmaTable(),
                               {Rate(1, {2026, 1, 1}, "00:00", 1), Rate(2, {2026, 12, 1}, "08:00", 15000)})
                  .ok());
  std::unique_ptr<WorkArea> stkpro = OpenTable(folder.path(), "S_STKPRO");
  std::unique_ptr<WorkArea> kursma = OpenTable(folder.path(), "S_KURSMA");
  ASSERT_TRUE(stkpro && kursma);

  const FactorUnits units(1, {{1, 1}});
  const HolidayList holidays;
  CurrencyBook book;
  book.AddCurrency({1, true, 0});
  book.AddCurrency({2, true, 2});
  PricingControl control;
  control.FPENJECERANPAJAKITEMPERSEN = 10;
  TablePromotionSource promotions(*stkpro, holidays);
  TableRateSource rates(*kursma);
  PricingItem item;
  item.LIID = 7;
  item.units = &units;
  item.WKURSJUAL = 2;
  item.levels[0] = {2, 2.5, 0, 0, 1, 1, {}};  // 2.50 USD a piece
  PricingContext context{&control, &book, &promotions, &rates, {{2026, 12, 10}, 600}, 0};

  PricedLine line;
  line.FJUMLAH = 2;
  line.WSATUANID = 1;
  ASSERT_TRUE(ASSIGNHARGA(item, context, line).ok());
  // 2 x 37,500 = 75,000; value discount 2 x 0.10 USD = 3,000; 10% of 75,000 = 7,500; tax 10%.
  EXPECT_DOUBLE_EQ(line.FHARGA, 75000);
  EXPECT_DOUBLE_EQ(line.FDISCNILAI, 3000);
  EXPECT_DOUBLE_EQ(TOTALHITUNGPAJAK(line, control, book), 64500);
  EXPECT_EQ(PriceText(TOTAL(line, control, book), book.Find(1), 2, "PCS"), "70.950 / 2 PCS");

  // Before the first USD rate the foreign price cannot be converted.
  context.when = {{2026, 12, 1}, 479};
  ASSERT_TRUE(ASSIGNHARGA(item, context, line).ok());
  EXPECT_EQ(PriceText(TOTAL(line, control, book), book.Find(1), 2, "PCS"), "- / 2 PCS");
}

}  // namespace
}  // namespace kt::data::pricing
