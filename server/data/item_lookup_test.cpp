#include "server/data/item_lookup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "common/coding.h"

#include "server/data/data_folder.h"
#include "server/data/demo_fixture.h"
#include "server/data/driver/work_area.h"
#include "server/data/messages.h"

namespace kt::data {
namespace {

using demo::DemoItem;
using demo::ItemRow;
using demo::Row;
namespace items = demo::items;

class ItemLookup : public testing::DemoDataTest {
 protected:
  // Opens the database and one session's tables.
  void OpenSession() {
    ASSERT_TRUE(Open()) << (sink_.boxes.empty() ? "" : sink_.boxes.back());
    lookup_ = std::make_unique<ITEMPENJUAECERAN>(globals_, sink_, clock_);
    lookup_->SetConnectionNumber(1);
    ASSERT_TRUE(lookup_->DBSUBOPEN());
  }

  // Replaces S_STOCK with these items.
  void WriteItems(const std::vector<DemoItem>& list) {
    std::vector<Row> rows;
    for (const DemoItem& item : list) rows.push_back(ItemRow(item));
    Rewrite(demo::StockTable(), rows);
  }

  static DemoItem Item(int64_t id, std::string code, std::string name) {
    DemoItem item;
    item.id = id;
    item.code = std::move(code);
    item.name = std::move(name);
    item.unit_set = 1;
    item.retail_unit = 1;
    item.levels = {{1, 1000, 1, 1, 0}};
    return item;
  }

  FixedClock clock_{LookupTime{Date{2026, 12, 10}, 9 * 60}};
  std::unique_ptr<ITEMPENJUAECERAN> lookup_;
};

struct Expect {
  const char* code;
  int64_t id;           // 0: not found
  const char* error;    // when not found
  double quantity = 1;  // when found
};

TEST_F(ItemLookup, CodesQuantitiesAndMessagesOnTheDemoData) {
  OpenSession();
  const Expect cases[] = {
      {"AQ600", items::kWater, ""},
      {"  aq600  ", items::kWater, ""},                   // blanks and case do not matter
      {"tisu01", items::kNoExtensions, ""},               // stored in lower case, indexed upper
      {"3*AQ600", items::kWater, "", 3},
      {"-2+AQ600", items::kWater, "", 2},
      {"X*AQ600", items::kWater, "", 1},
      {"2.5*AQ600", items::kWater, "", 3},                // the default picture has no decimals
      {"2.5*DAGING", items::kWeighed, "", 2.5},           // the item's picture has two
      {"AQ600#", items::kWater, ""},                      // trailing clear text
      {"AQ#600", 0, "AQ#600, Kode tidak ketemu !"},       // only a trailing one is removed
      {"AQUA600", items::kWater, ""},                     // KODE_2
      {"KECAPALT", items::kAltCodeOnly, ""},              // KODE_3
      {"8990000000088", items::kBarcodeOnly, ""},         // BARCODE
      {"8991002100012", items::kWater, ""},
      {"ABC+", 0, ", Kode tidak ketemu !"},               // empty key: nothing before the comma
      {"#", 0, ", Kode tidak ketemu !"},
      {"NOPE", 0, "NOPE, Kode tidak ketemu !"},
      {"LAMA01", 0, "LAMA01, Item ini sudah tidak aktif lagi !"},
      {"GROSIR1", 0, "GROSIR1, Item ini tidak diperbolehkan pada module ini !"},
      {"GDG2", 0, "GDG2, Item ini tidak aktif pada Gudang: Toko Depan"},
  };
  for (const Expect& c : cases) {
    sink_.Clear();
    lookup_->SEEKKODE(c.code);
    if (c.id != 0) {
      ASSERT_TRUE(lookup_->SEEKFOUND()) << c.code << ": " << lookup_->CERRORMESS;
      EXPECT_EQ(lookup_->ITEMID(), c.id) << c.code;
      EXPECT_DOUBLE_EQ(lookup_->OITEMPENJUAECERAN.FJUMLAH, c.quantity) << c.code;
      EXPECT_TRUE(sink_.scans.empty()) << c.code;
    } else {
      EXPECT_FALSE(lookup_->SEEKFOUND()) << c.code;
      EXPECT_EQ(lookup_->ITEMID(), 0) << c.code;
      EXPECT_EQ(lookup_->CERRORMESS, c.error) << c.code;
      ASSERT_EQ(sink_.scans.size(), 1u) << c.code;
      EXPECT_EQ(sink_.scans[0], std::string("###ERR### : ") + c.error);
      // A failure shows no item: every name is empty.
      EXPECT_EQ(lookup_->ORECITEM.CNAMA, "") << c.code;
      EXPECT_EQ(lookup_->ORECITEM.CNAMAALL, "") << c.code;
      EXPECT_FALSE(lookup_->OITEMPENJUAECERAN.ORECITEM.has_value());
      EXPECT_EQ(lookup_->OITEMPENJUAECERAN.FJUMLAH, 0);
      EXPECT_EQ(lookup_->OITEMPENJUAECERAN.WSATUANID, 0);
    }
  }
}

TEST_F(ItemLookup, FoundItemCarriesNamesUnitAndRecord) {
  OpenSession();
  lookup_->SEEKKODE("SAMPO01");
  ASSERT_TRUE(lookup_->SEEKFOUND());
  const RECITEM& item = lookup_->ORECITEM;
  EXPECT_EQ(item.CNAMA, "Sampo Anti Ketombe");
  EXPECT_EQ(item.CNAMAALL, "Sampo Anti Ketombe Botol 170ml Menthol");
  EXPECT_EQ(item.SATUANECERANTEXT(), "BTL");
  EXPECT_EQ(item.CQUANPICT, "999,999");  // the control record's picture

  lookup_->SEEKKODE("MIE5BOX");
  ASSERT_TRUE(lookup_->SEEKFOUND());
  EXPECT_EQ(lookup_->OITEMPENJUAECERAN.WSATUANID, 2);
  EXPECT_EQ(lookup_->ORECITEM.SATUANECERANTEXT(), "BOX");
  EXPECT_EQ(lookup_->ORECITEM.CNAMAALL, "Mie Instan Goreng Isi 12");

  // Without SAT_ECR the item counts in the smallest unit.
  lookup_->SEEKKODE("GARAM250");
  ASSERT_TRUE(lookup_->SEEKFOUND());
  EXPECT_EQ(lookup_->OITEMPENJUAECERAN.WSATUANID, 1);
  EXPECT_EQ(lookup_->ORECITEM.SATUANECERANTEXT(), "PCS");

  lookup_->SEEKKODE("KOPI200", 4.0);
  ASSERT_TRUE(lookup_->SEEKFOUND());
  EXPECT_EQ(lookup_->ORECITEM.CNAMA.size(), 18u);
  EXPECT_EQ(lookup_->OITEMPENJUAECERAN.FJUMLAH, 4);

  // The last error stays after a successful lookup.
  lookup_->SEEKKODE("NOPE");
  lookup_->SEEKKODE("AQ600");
  EXPECT_TRUE(lookup_->SEEKFOUND());
  EXPECT_EQ(lookup_->CERRORMESS, "NOPE, Kode tidak ketemu !");
}

TEST_F(ItemLookup, SearchSwitches) {
  struct Case {
    bool multi_code, barcode;
    bool alt_found, barcode_found;
  } cases[] = {{true, true, true, true}, {false, true, false, true}, {true, false, true, false}, {false, false, false, false}};
  for (const Case& c : cases) {
    RewriteKontro([&](Row& row) { row.Set("STK_K_MUL", c.multi_code).Set("STK_KODE2U", c.barcode); });
    OpenSession();
    lookup_->SEEKKODE("KECAPALT");
    EXPECT_EQ(lookup_->SEEKFOUND(), c.alt_found) << c.multi_code << c.barcode;
    lookup_->SEEKKODE("8990000000088");
    EXPECT_EQ(lookup_->SEEKFOUND(), c.barcode_found) << c.multi_code << c.barcode;
  }
}

TEST_F(ItemLookup, ClearTextEverywhere) {
  RewriteKontro([](Row& row) { row.Set("STK_K_CLR2", true).Set("STK_K_CLR", "-"); });
  OpenSession();
  lookup_->SEEKKODE("AQ-6-00-");
  EXPECT_TRUE(lookup_->SEEKFOUND()) << lookup_->CERRORMESS;
}

TEST_F(ItemLookup, CodeIsCutToTheCodeWidthBeforeEverySeek) {
  DemoItem exact = Item(1, "ABCDEFGHIJKLMNOPQRST", "Twenty");       // 20 = KODE_C width
  DemoItem bar20 = Item(2, "B2", "Barcode 20");
  bar20.barcode = "12345678901234567890";
  DemoItem bar22 = Item(3, "B3", "Barcode 22");
  bar22.barcode = "1234567890123456789012";
  DemoItem alt = Item(4, "B4", "Alt 20");
  alt.alt_codes[3] = "ZYXWVUTSRQPONMLKJIHG";
  WriteItems({exact, bar20, bar22, alt});
  OpenSession();
  const Expect cases[] = {
      {"ABCDEFGHIJKLMNOPQRSTUVW", 1, ""},
      {"12345678901234567890999", 2, ""},
      // The whole 22-digit barcode is cut to 20 before the BARCODE seek: not found.
      {"1234567890123456789012", 2, ""},
      {"ZYXWVUTSRQPONMLKJIHGFE", 4, ""},
  };
  for (const Expect& c : cases) {
    lookup_->SEEKKODE(c.code);
    ASSERT_TRUE(lookup_->SEEKFOUND()) << c.code << ": " << lookup_->CERRORMESS;
    EXPECT_EQ(lookup_->ITEMID(), c.id) << c.code;
  }
}

TEST_F(ItemLookup, NumericCodesUseTheKodeNWidth) {
  RewriteKontro([](Row& row) { row.Set("STK_K_CHR", false); });
  DemoItem item = Item(1, "IGNORED", "Numeric");
  item.code_n = "123456789012345";  // 15 = KODE_N width
  std::vector<Row> rows = {ItemRow(item)};
  Rewrite(demo::StockTable(false), rows);
  OpenSession();
  lookup_->SEEKKODE("123456789012345678");
  ASSERT_TRUE(lookup_->SEEKFOUND()) << lookup_->CERRORMESS;
  lookup_->SEEKKODE("IGNORED");
  EXPECT_FALSE(lookup_->SEEKFOUND());
}

TEST_F(ItemLookup, BlankKeyMatchesNoItemWithBlankCodes) {
  // Items whose alternative codes and barcode are blank, and one whose main code is blank.
  DemoItem blank = Item(1, "", "Blank code");
  WriteItems({Item(2, "A1", "One"), blank, Item(3, "A2", "Two")});
  OpenSession();
  for (const char* code : {"ABC+", "5*", "  ", "#"}) {
    lookup_->SEEKKODE(code);
    EXPECT_FALSE(lookup_->SEEKFOUND()) << code;
    EXPECT_EQ(lookup_->CERRORMESS, ", Kode tidak ketemu !") << code;
  }
}

TEST_F(ItemLookup, MissingOrderFindsNothingButDoesNotFail) {
  demo::TableDef stock = demo::StockTable();
  std::erase_if(stock.tags, [](const TagSpec& t) { return t.name == "KODE_4" || t.name == "BARCODE"; });
  DemoItem alt = Item(1, "A1", "Alt in KODE_3");
  alt.alt_codes[1] = "THIRD";
  alt.barcode = "8990000000001";
  Rewrite(stock, {ItemRow(alt)});
  OpenSession();
  lookup_->SEEKKODE("THIRD");
  EXPECT_TRUE(lookup_->SEEKFOUND()) << lookup_->CERRORMESS;
  lookup_->SEEKKODE("8990000000001");
  EXPECT_FALSE(lookup_->SEEKFOUND());
  EXPECT_EQ(lookup_->CERRORMESS, "8990000000001, Kode tidak ketemu !");
}

TEST_F(ItemLookup, ChecksRunInOrder) {
  DemoItem hidden_not_retail = Item(1, "HNR", "Hidden, not retail");
  hidden_not_retail.hidden = true;
  hidden_not_retail.retail = false;
  DemoItem hidden_elsewhere = Item(2, "HEW", "Hidden, other warehouse");
  hidden_elsewhere.hidden = true;
  hidden_elsewhere.inactive_warehouses = {1};
  WriteItems({hidden_not_retail, hidden_elsewhere});
  OpenSession();
  lookup_->SEEKKODE("HNR");
  EXPECT_EQ(lookup_->CERRORMESS, "HNR, Item ini tidak diperbolehkan pada module ini !");
  lookup_->SEEKKODE("HEW");
  EXPECT_EQ(lookup_->CERRORMESS, "HEW, Item ini sudah tidak aktif lagi !");
}

TEST_F(ItemLookup, WarehouseCheckAndNames) {
  struct Case {
    bool active_check;
    int warehouse;
    const char* error;  // "" when found
  } cases[] = {
      {true, 1, "GDG2, Item ini tidak aktif pada Gudang: Toko Depan"},
      {true, 2, ""},
      {false, 1, ""},
      {true, 0, "GDG2, Item ini tidak aktif pada Gudang: ---"},
      {true, 31, "GDG2, Item ini tidak aktif pada Gudang: ###"},
      {true, 30, ""},  // active there, no name needed
  };
  for (const Case& c : cases) {
    RewriteKontro([&](Row& row) { row.Set("STK_GD_AKT", c.active_check).Set("PJECR_GUD", c.warehouse); });
    OpenSession();
    lookup_->SEEKKODE("GDG2");
    EXPECT_EQ(lookup_->SEEKFOUND(), std::string(c.error).empty()) << c.warehouse;
    if (!lookup_->SEEKFOUND()) {
      EXPECT_EQ(lookup_->CERRORMESS, c.error);
    }
  }
  DBKONTRO kontro;
  kontro.warehouse_names[1] = "Gudang Belakang";
  EXPECT_EQ(kontro.WarehouseName(2), "Gudang Belakang");
  EXPECT_EQ(kontro.WarehouseName(-1), "###");
}

TEST_F(ItemLookup, InconsistentUnitDataFailsOnlyThatLookup) {
  DemoItem lost_set = Item(1, "LOST", "Unknown unit set");
  lost_set.unit_set = 99;
  lost_set.retail_unit = 2;
  WriteItems({lost_set, Item(2, "GOOD", "Good item")});
  OpenSession();
  lookup_->SEEKKODE("LOST");
  EXPECT_FALSE(lookup_->SEEKFOUND());
  EXPECT_EQ(lookup_->CERRORMESS, "Convert Satuan: Satuan ID Invalid, Item ID: 1  ( 2 - 0 )");
  EXPECT_EQ(lookup_->ORECITEM.CNAMA, "");
  lookup_->SEEKKODE("GOOD");
  EXPECT_TRUE(lookup_->SEEKFOUND()) << lookup_->CERRORMESS;
}

TEST_F(ItemLookup, DatabaseNotOpen) {
  ITEMPENJUAECERAN lookup(globals_, sink_);
  lookup.SetConnectionNumber(1);
  lookup.SEEKKODE("AQ600");
  EXPECT_FALSE(lookup.SEEKFOUND());
  EXPECT_EQ(lookup.CERRORMESS, msg::kDatabaseNotOpen);
  ASSERT_EQ(sink_.scans.size(), 1u);
  EXPECT_EQ(sink_.scans[0], "###ERR### : Database belum dibuka / Lokasi tidak ketemu !");
}

TEST_F(ItemLookup, UnitConversionThroughTheItemTable) {
  OpenSession();
  auto db = globals_.Database();
  auto opened = WorkArea::Open(TablePath(data_folder(), "S_STOCK"), "STOCKCONV");
  ASSERT_TRUE(opened.ok()) << opened.status().ToString();
  WorkArea& stock = **opened;
  // 2 BOX of the box item are 24 PCS; a missing item is reported with its text.
  auto pcs = ITEM_CONV2SATUAN(stock, db->units, false, items::kBoxRetail, 2, 2, 1);
  ASSERT_TRUE(pcs.ok()) << pcs.status().ToString();
  EXPECT_DOUBLE_EQ(*pcs, 24);
  auto missing = ITEM_CONV2SATUAN(stock, db->units, false, 424242, 1, 2, 1, {"10/12/2026", "cek"});
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.status().message(),
            "Convert Satuan: Item Hilang, Item ID: 424242  ( 2 - 1 )\r\nTanggal: 10/12/2026\r\ncek");
}

TEST_F(ItemLookup, SessionsLookUpInParallel) {
  ASSERT_TRUE(Open());
  constexpr int kSessions = 4;
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int n = 1; n <= kSessions; ++n) {
    threads.emplace_back([&, n] {
      ITEMPENJUAECERAN lookup(globals_, sink_, clock_);
      lookup.SetConnectionNumber(static_cast<uint32_t>(n));
      if (!lookup.DBSUBOPEN()) {
        ++wrong;
        return;
      }
      for (int i = 0; i < 200; ++i) {
        const bool even = (i + n) % 2 == 0;
        lookup.SEEKKODE(even ? "AQ600" : "KECAPALT");
        if (!lookup.SEEKFOUND() || lookup.ITEMID() != (even ? items::kWater : items::kAltCodeOnly)) ++wrong;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
}  // namespace kt::data

namespace kt::data {
namespace {

using testing::ReadFileBytes;
using testing::WriteFileBytes;

class DamagedTables : public testing::DemoDataTest {};

// Damaged index or table bytes: every lookup ends as found or as a failure text, nothing crashes,
// and the files stay as they were (the server only reads them).
TEST_F(DamagedTables, LookupsFailCleanlyAndLeaveTheFilesAlone) {
  const std::filesystem::path index = data_folder() / "S_STOCK.CDX";
  const std::filesystem::path table = data_folder() / "S_STOCK.G8A";
  const std::string good_index = ReadFileBytes(index);
  const std::string good_table = ReadFileBytes(table);
  struct Damage {
    const std::filesystem::path* file;
    const std::string* good;
    std::size_t offset;  // bytes from the start; beyond the end: from the end backwards
    std::string bytes;
  };
  std::vector<Damage> damages;
  for (std::size_t offset : {0u, 8u, 12u, 512u, 1024u, 1030u, 1536u, 2048u, 4096u, 6000u}) {
    damages.push_back({&index, &good_index, offset, std::string(4, '\xff')});
    damages.push_back({&index, &good_index, offset, std::string(4, '\0')});
  }
  for (std::size_t offset : {0u, 4u, 8u, 10u, 32u, 64u, 300u}) {
    damages.push_back({&table, &good_table, offset, std::string(2, '\xff')});
  }
  for (const Damage& d : damages) {
    std::string bytes = *d.good;
    if (d.offset + d.bytes.size() > bytes.size()) continue;
    bytes.replace(d.offset, d.bytes.size(), d.bytes);
    WriteFileBytes(*d.file, bytes);

    GLOBALVARIABLE globals;
    ConfigValues config;
    config.location = root_.path().string();
    globals.SetConfig(config);
    if (DBMAINOPEN(globals, sink_)) {
      ITEMPENJUAECERAN lookup(globals, sink_);
      lookup.SetConnectionNumber(1);
      if (lookup.DBSUBOPEN()) {
        for (const char* code : {"AQ600", "KECAPALT", "8990000000088", "NOPE", "ABC+"}) {
          lookup.SEEKKODE(code);
          if (!lookup.SEEKFOUND()) {
            EXPECT_FALSE(lookup.CERRORMESS.empty()) << d.file->filename() << " @" << d.offset;
          }
        }
      }
    }
    EXPECT_EQ(ReadFileBytes(*d.file), bytes) << d.file->filename() << " @" << d.offset;
    WriteFileBytes(*d.file, *d.good);
  }
}

// An item table that cannot be read fails the scan with the reason, never with an answer about an
// item of empty fields; the reason reaches the operator once per table and cause, not per scan.
TEST_F(DamagedTables, AnUnreadableItemTableFailsScansWithTheReasonToldOnce) {
  auto boxes_with = [&](std::string_view text) {
    std::scoped_lock lock(sink_.mutex);
    return std::count_if(sink_.boxes.begin(), sink_.boxes.end(),
                         [&](const std::string& b) { return b.find(text) != std::string::npos; });
  };
  auto scan = [&](ITEMPENJUAECERAN& lookup, const char* code) {
    lookup.SEEKKODE(code);
    EXPECT_FALSE(lookup.SEEKFOUND()) << code;
    return lookup.CERRORMESS;
  };

  {  // Cut short while sessions have it open (a copy tool half-way, a full disk).
    ASSERT_TRUE(Open());
    ITEMPENJUAECERAN lookup(globals_, sink_);
    lookup.SetConnectionNumber(1);
    ASSERT_TRUE(lookup.DBSUBOPEN());
    lookup.SEEKKODE("AQ600");
    ASSERT_TRUE(lookup.SEEKFOUND());
    const std::filesystem::path table = data_folder() / "S_STOCK.G8A";
    const std::string bytes = ReadFileBytes(table);
    std::filesystem::resize_file(table, DecodeFixedLE16(bytes.data() + 8) + 10);
    for (const char* code : {"AQ600", "KECAPALT", "AQ600"}) {
      const std::string error = scan(lookup, code);
      EXPECT_EQ(error.rfind(std::string(code) + ", Gagal baca S_STOCK: ", 0), 0u) << error;
      EXPECT_NE(error.find("past the end"), std::string::npos) << error;
    }
    // The record read that failed, then the count that no longer fits the file: two causes.
    const auto told = boxes_with("Gagal baca S_STOCK.G8A: ");
    EXPECT_GE(told, 1);
    EXPECT_LE(told, 2);
    for (const char* code : {"AQ600", "KECAPALT", "NOPE"}) scan(lookup, code);
    EXPECT_EQ(boxes_with("Gagal baca S_STOCK.G8A: "), told);
  }
  {  // Replaced by a table of another layout that still has the code tags.
    sink_.Clear();
    demo::TableDef def = demo::StockTable();
    std::erase_if(def.fields, [](const FieldSpec& f) {
      return f.name == "HIDE" || f.name == "ITM_PENJEC" || f.name.rfind("GUDANG_", 0) == 0;
    });
    Rewrite(def, {Row().Set("ID", 1).Set("KODE_C", "AQ600").Set("NAMA", "AIR")});
    ITEMPENJUAECERAN lookup(globals_, sink_);
    lookup.SetConnectionNumber(2);
    ASSERT_TRUE(lookup.DBSUBOPEN());
    for (int i = 0; i < 3; ++i) {
      const std::string error = scan(lookup, "AQ600");
      EXPECT_EQ(error.rfind("AQ600, Gagal baca S_STOCK: ", 0), 0u) << error;
      EXPECT_NE(error.find("HIDE"), std::string::npos) << error;
    }
    EXPECT_EQ(boxes_with("Gagal baca S_STOCK.G8A: "), 1);
    std::scoped_lock lock(sink_.mutex);
    EXPECT_EQ(sink_.boxes.size(), 1u) << "no box per missing field";
  }
}

TEST_F(DamagedTables, CutControlTableStopsTheOpen) {
  const std::filesystem::path kontro = data_folder() / "S_KONTRO.G8A";
  const std::string good = ReadFileBytes(kontro);
  for (std::size_t size : {std::size_t{0}, std::size_t{10}, std::size_t{40}, good.size() / 2}) {
    sink_.Clear();
    WriteFileBytes(kontro, good.substr(0, size));
    EXPECT_FALSE(Open()) << size;
    ASSERT_FALSE(sink_.boxes.empty()) << size;
    EXPECT_EQ(sink_.boxes.back().rfind("Gagal buke file S_KONTRO !", 0) == 0 ||
                  sink_.boxes.back() == msg::kVersionTooOld,
              true)
        << size << ": " << sink_.boxes.back();
  }
}

}  // namespace
}  // namespace kt::data

#include <algorithm>
#include <random>

namespace kt::data {
namespace {

// Random codes from a small alphabet, so that equal codes, prefixes and blanks are common; the
// lookup must agree with a plain model of its search order (KODE, KODE_2..KODE_5, BARCODE, the
// lowest record first among equal keys).
class LookupModel : public testing::DemoDataTest {};

TEST_F(LookupModel, AgreesWithTheSearchOrder) {
  std::mt19937 random(20261210);
  auto random_code = [&](int max_length) {
    static constexpr char kAlphabet[] = "AB1b";
    const int length = std::uniform_int_distribution<int>(0, max_length)(random);
    std::string code;
    for (int i = 0; i < length; ++i) code += kAlphabet[std::uniform_int_distribution<int>(0, 3)(random)];
    return code;
  };
  std::vector<DemoItem> list;
  std::vector<Row> rows;
  for (int id = 1; id <= 300; ++id) {
    DemoItem item;
    item.id = id;
    item.code = random_code(4);
    for (auto& alt : item.alt_codes) alt = random() % 3 == 0 ? random_code(4) : "";
    item.barcode = random() % 2 == 0 ? random_code(5) : "";
    item.name = "Item " + std::to_string(id);
    item.levels = {{1, 1000, 1, 1, 0}};
    list.push_back(item);
    rows.push_back(ItemRow(item));
  }
  Rewrite(demo::StockTable(), rows);
  ASSERT_TRUE(Open());
  ITEMPENJUAECERAN lookup(globals_, sink_);
  lookup.SetConnectionNumber(1);
  ASSERT_TRUE(lookup.DBSUBOPEN());

  auto upper = [](std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
  };
  auto model = [&](const std::string& code) -> int64_t {
    const std::string key = upper(code);
    if (key.empty()) return 0;
    auto first_with = [&](auto field) -> int64_t {
      for (const DemoItem& item : list) {
        if (upper(field(item)) == key) return item.id;
      }
      return 0;
    };
    if (int64_t id = first_with([](const DemoItem& i) { return i.code; })) return id;
    for (int n = 0; n < 4; ++n) {
      if (int64_t id = first_with([n](const DemoItem& i) { return i.alt_codes[n]; })) return id;
    }
    return first_with([](const DemoItem& i) { return i.barcode; });
  };
  for (int probe = 0; probe < 400; ++probe) {
    const std::string code = random_code(6);
    lookup.SEEKKODE(code);
    const int64_t expected = model(code);
    EXPECT_EQ(lookup.ITEMID(), expected) << "code \"" << code << "\": " << lookup.CERRORMESS;
    if (expected == 0) {
      EXPECT_EQ(lookup.CERRORMESS, upper(code) + ", Kode tidak ketemu !");
    }
  }
}

// A database open while sessions look up: every lookup sees a whole snapshot (found, or the
// "not open" message while the flag is down), nothing else.
TEST_F(LookupModel, ReopeningWhileSessionsRun) {
  ASSERT_TRUE(Open());
  std::atomic<bool> stop{false};
  std::atomic<int> ready{0}, unexpected{0};
  std::vector<std::thread> sessions;
  std::mutex mutex;
  std::vector<std::string> messages;
  for (int n = 1; n <= 2; ++n) {
    sessions.emplace_back([&, n] {
      ITEMPENJUAECERAN lookup(globals_, NullEventSink());
      lookup.SetConnectionNumber(static_cast<uint32_t>(n));
      const bool opened = lookup.DBSUBOPEN();
      ++ready;
      if (!opened) {
        ++unexpected;
        return;
      }
      while (!stop.load()) {
        lookup.SEEKKODE("KECAPALT");
        if (!lookup.SEEKFOUND() && lookup.CERRORMESS != msg::kDatabaseNotOpen) {
          ++unexpected;
          std::scoped_lock lock(mutex);
          messages.push_back(lookup.CERRORMESS);
        }
      }
    });
  }
  while (ready.load() < 2) std::this_thread::yield();
  for (int i = 0; i < 20; ++i) EXPECT_TRUE(DBMAINOPEN(globals_, sink_));
  stop = true;
  for (auto& t : sessions) t.join();
  EXPECT_EQ(unexpected.load(), 0) << (messages.empty() ? "" : messages.front());
}

}  // namespace
}  // namespace kt::data
