// The demo accounting data set: a complete ST_DB folder with every table the server reads, made
// to show every feature (code kinds, unit sets, currencies and rates, rounding rules, holidays,
// the three kinds of promotion, items switched off, items not for the retail counter, warehouse
// flags). It is the default data of the demo and the base of many tests.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "common/status.h"
#include "server/data/demo/table_writer.h"

namespace kt::data::demo {

struct DemoOptions {
  // Items in S_STOCK: the hand-made showcase items first, then generated ones up to this count
  // (never fewer than the showcase).
  int item_count = 300;
};

// Writes `dir`/ST_DB/ with every table and its index, replacing files of the same names.
Status WriteDemoDataSet(const std::filesystem::path& dir, const DemoOptions& options = {});

// ---- Building blocks, for tests that vary one table ----

// One price level of a demo item.
struct DemoLevel {
  int currency = 1;
  double price = 0;
  double quantity = 0;
  int unit = 0;
  double disc1 = 0;
};

// A friendly description of one S_STOCK record.
struct DemoItem {
  int64_t id = 0;
  std::string code;          // KODE_C (and KODE_N when numeric codes are wanted)
  std::string code_n;        // KODE_N
  std::array<std::string, 4> alt_codes;  // KODE_2..KODE_5
  std::string barcode;
  std::string name, name_ex1, name_ex2;
  std::string quantity_picture;
  bool retail = true;        // ITM_PENJEC
  bool hidden = false;       // HIDE
  std::vector<int> inactive_warehouses;  // GUDANG_nn false for these, true for the others
  int unit_set = 1;
  int retail_unit = 0;       // SAT_ECR
  std::array<double, 10> item_factors{};  // SAT_K_01..SAT_K_10
  bool non_tax = false;
  int rate_kind = 2;         // KURS_JUAL
  std::vector<DemoLevel> levels;  // up to 5
  bool deleted = false;
};

Row ItemRow(const DemoItem& item);
// The demo's control record (VERSI 830, every lookup switch on, warehouse 1 checked).
Row DemoKontroRow();
// The demo's unit sets: 1 PCS/BOX/CTN (1, 12, 144), 2 GR/KG/ONS (1, 1000, 100), 3 BTL/LSN/DUS
// (1, 12, 24), 4 PAK/BAL (1, 20), 5 SACHET/RENCENG/KARTON (1, 10, 120).
std::vector<Row> DemoUnitSetRows();
// The showcase items (ids 1..99) that tests and the demo rely on.
std::vector<DemoItem> ShowcaseItems();

// Fixed identifiers of showcase items.
namespace items {
inline constexpr int64_t kWater = 1;          // "AQ600", barcode 8991002100012, BTL, 3 levels
inline constexpr int64_t kCoffee18 = 2;       // 18-character name
inline constexpr int64_t kOil33 = 3;          // 33-character name; 5% off on holidays only
inline constexpr int64_t kSoap60 = 4;         // 60-character name
inline constexpr int64_t kHidden = 5;         // HIDE
inline constexpr int64_t kNotRetail = 6;      // ITM_PENJEC false
inline constexpr int64_t kOtherWarehouse = 7; // off in warehouse 1
inline constexpr int64_t kBarcodeOnly = 8;    // found only by BARCODE
inline constexpr int64_t kAltCodeOnly = 9;    // found only by KODE_3
inline constexpr int64_t kImported = 10;      // priced in USD
inline constexpr int64_t kSpecialPrice = 11;  // special-price promotion valid 2026-2030
inline constexpr int64_t kExpiredPromo = 12;  // special-price promotion that ended 2025-12-31
inline constexpr int64_t kWeekdayPromo = 13;  // 10% Monday-Friday, not on holidays
inline constexpr int64_t kMorningPromo = 14;  // value discount 08:00-10:00
inline constexpr int64_t kBoxRetail = 15;     // counted in BOX at the counter
inline constexpr int64_t kNoRetailUnit = 16;  // SAT_ECR empty: smallest unit
inline constexpr int64_t kNoExtensions = 17;  // name without extensions
inline constexpr int64_t kWithExtensions = 18;  // name with both extensions
inline constexpr int64_t kWeighed = 19;       // sold by gram, picture 999,999.99
inline constexpr int64_t kRounded = 20;       // price 12.345 rounded by the currency rules
}  // namespace items

}  // namespace kt::data::demo
