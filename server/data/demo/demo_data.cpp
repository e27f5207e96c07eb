#include "server/data/demo/demo_data.h"

#include <cstdio>
#include <system_error>

#include "server/data/demo/schema.h"

namespace kt::data::demo {

namespace {

std::string Two(int n) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02d", n);
  return buffer;
}

Date D(int y, int m, int d) { return Date{y, m, d}; }

// Smallest units per unit identifier (1..10), by unit set, as S_SATUAN states them; used to give
// items matching SAT_K_nn factors.
std::array<double, 10> SetFactors(int unit_set) {
  std::array<double, 10> f{};
  switch (unit_set) {
    case 1: f[0] = 1; f[1] = 12; f[2] = 144; break;                  // PCS BOX CTN
    case 2: f[3] = 1; f[4] = 1000; f[9] = 100; break;                // GR KG ONS
    case 3: f[0] = 1; f[5] = 12; f[6] = 24; break;                   // BTL LSN DUS
    case 4: f[7] = 1; f[8] = 20; break;                              // PAK BAL
    default: break;
  }
  return f;
}

// The EAN-13 check digit of 12 digits.
char Ean13Check(const std::string& twelve) {
  int sum = 0;
  for (int i = 0; i < 12; ++i) sum += (twelve[i] - '0') * (i % 2 == 0 ? 1 : 3);
  return static_cast<char>('0' + (10 - sum % 10) % 10);
}

std::string Ean13(int64_t serial) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "899%09lld", static_cast<long long>(serial % 1000000000));
  std::string code(buffer);
  return code + Ean13Check(code);
}

DemoItem Basic(int64_t id, std::string code, std::string name, double price, int unit_set = 1,
               int retail_unit = 1) {
  DemoItem item;
  item.id = id;
  item.code = std::move(code);
  char numeric[32];
  std::snprintf(numeric, sizeof numeric, "%08lld", static_cast<long long>(id));
  item.code_n = numeric;
  item.name = std::move(name);
  item.unit_set = unit_set;
  item.retail_unit = retail_unit;
  item.item_factors = SetFactors(unit_set);
  item.levels = {{1, price, 1, retail_unit != 0 ? retail_unit : 1, 0}};
  return item;
}

// A generated item's product line: name, three sizes, price, unit set and unit of its first level.
struct Product {
  const char* name;
  const char* sizes[3];
  int unit_set;
  int unit;
  double price;
};

constexpr Product kProducts[] = {
    {"Beras Pandan Wangi", {"1kg", "5kg", "10kg"}, 2, 5, 14500},
    {"Gula Pasir Kristal", {"500g", "1kg", "2kg"}, 2, 5, 17000},
    {"Tepung Terigu Serbaguna", {"500g", "1kg", "2kg"}, 2, 5, 11500},
    {"Minyak Goreng", {"1L", "2L", "5L"}, 3, 1, 18500},
    {"Mie Instan Goreng Rendang", {"75g", "85g", "Jumbo 120g"}, 1, 1, 3100},
    {"Mie Instan Kuah Soto", {"70g", "75g", "Jumbo 110g"}, 1, 1, 2900},
    {"Susu UHT Cokelat", {"125ml", "200ml", "1L"}, 1, 1, 6500},
    {"Teh Celup Melati", {"Isi 25", "Isi 50", "Isi 100"}, 1, 1, 7800},
    {"Kopi Bubuk Robusta", {"100g", "200g", "500g"}, 1, 1, 12500},
    {"Kecap Manis", {"135ml", "275ml", "600ml"}, 3, 1, 9900},
    {"Saus Sambal", {"135ml", "340ml", "1kg"}, 3, 1, 8700},
    {"Sabun Mandi Batang", {"75g", "110g", "Isi 4"}, 1, 1, 3900},
    {"Sampo Lidah Buaya", {"70ml", "170ml", "340ml"}, 3, 1, 21500},
    {"Pasta Gigi Herbal", {"75g", "150g", "190g"}, 1, 1, 11200},
    {"Deterjen Bubuk", {"800g", "1,8kg", "4kg"}, 4, 8, 19900},
    {"Biskuit Kelapa", {"100g", "250g", "Kaleng 650g"}, 1, 1, 8500},
    {"Air Mineral Pegunungan", {"330ml", "600ml", "1500ml"}, 3, 1, 3500},
    {"Minuman Isotonik", {"350ml", "500ml", "1L"}, 3, 1, 6800},
    {"Sarden Saus Tomat", {"155g", "425g", "Isi 3"}, 1, 1, 12900},
    {"Kornet Sapi", {"198g", "340g", "Isi 2"}, 1, 1, 24500},
    {"Margarin Serbaguna", {"200g", "1kg", "2kg"}, 1, 1, 7600},
    {"Keju Cheddar", {"70g", "165g", "2kg"}, 1, 1, 19800},
    {"Kacang Tanah Kulit", {"250g", "500g", "1kg"}, 2, 5, 32000},
    {"Garam Beryodium", {"250g", "500g", "1kg"}, 1, 1, 2500},
    {"Tisu Gulung", {"Isi 4", "Isi 10", "Isi 20"}, 4, 8, 16500},
    {"Popok Bayi Celana", {"M 20", "L 18", "XL 16"}, 4, 8, 54000},
    {"Baterai Alkaline", {"AA Isi 2", "AAA Isi 2", "AA Isi 4"}, 1, 1, 9500},
    {"Sikat Gigi", {"Lembut", "Sedang", "Isi 3"}, 1, 1, 6200},
    {"Pembersih Lantai", {"450ml", "800ml", "1,6L"}, 3, 1, 13800},
    {"Kerupuk Ikan Tenggiri", {"100g", "250g", "500g"}, 1, 1, 9200},
};
constexpr const char* kVariants[] = {"", "Premium", "Hemat", "Spesial"};

DemoItem Generated(int64_t id) {
  const std::size_t n = static_cast<std::size_t>(id - 100);
  const std::size_t products = std::size(kProducts);
  const Product& p = kProducts[n % products];
  const std::size_t combo = n / products;  // size first, then variant
  const char* size = p.sizes[combo % 3];
  const char* variant = kVariants[(combo / 3) % std::size(kVariants)];
  char code[32];
  std::snprintf(code, sizeof code, "BRG%06lld", static_cast<long long>(id));
  std::string name = p.name;
  if (*variant != '\0') name += std::string(" ") + variant;
  name += std::string(" ") + size;
  // Past the named combinations (360 items) names repeat with a series number.
  const std::size_t series = combo / (3 * std::size(kVariants));
  if (series > 0) name += " S" + std::to_string(series + 1);
  const double price = p.price + static_cast<double>((id * 37) % 20) * 100;
  DemoItem item = Basic(id, code, std::move(name), price, p.unit_set, p.unit);
  if (id % 5 == 0) item.alt_codes[0] = "ALT" + std::to_string(id);
  if (id % 50 == 0) item.alt_codes[1] = "GROSIR" + std::to_string(id);
  if (id % 10 != 3) item.barcode = Ean13(id);
  if (id % 97 == 0) item.hidden = true;
  if (id % 89 == 0) item.retail = false;
  if (id % 83 == 0) item.inactive_warehouses = {1};
  if (id % 7 == 0) {
    // Quantity breaks: a dozen, then a gross, in the level's own unit.
    item.levels.push_back({1, price * 0.95, 12, p.unit, 0});
    item.levels.push_back({1, price * 0.9, 144, p.unit, 0});
  }
  return item;
}

Row SimpleIdName(int id, const char* name) { return Row().Set("ID", id).Set("NAMA", name); }

Status WriteFixedTables(const std::filesystem::path& folder) {
  KT_RETURN_IF_ERROR(WriteTable(folder, KontroTable(), {DemoKontroRow()}));
  KT_RETURN_IF_ERROR(WriteTable(folder, KoncabTable(), {SimpleIdName(1, "Toko Pusat"), SimpleIdName(2, "Cabang Timur")}));
  KT_RETURN_IF_ERROR(WriteTable(folder, DivisiTable(),
                                {Row().Set("ID", 1).Set("DIVISI", "Umum").Set("HARGA_JUAL", 0).Set("GRPHJL_ID", 0),
                                 Row().Set("ID", 2).Set("DIVISI", "Grosir").Set("HARGA_JUAL", 3).Set("GRPHJL_ID", 1)}));
  KT_RETURN_IF_ERROR(WriteTable(
      folder, MauangTable(),
      {Row().Set("ID", 1).Set("KODE", "IDR").Set("MATA_UANG", "Rupiah").Set("TERB_CENT", "sen").Set("TERB_MU", "rupiah")
           .Set("MU_KALI", true).Set("DECIMAL", 0).Set("KM_AUTO_PY", false).Set("KK_AUTO_PY", false),
       Row().Set("ID", 2).Set("KODE", "USD").Set("MATA_UANG", "US Dollar").Set("TERB_CENT", "cent").Set("TERB_MU", "dollar")
           .Set("MU_KALI", true).Set("DECIMAL", 2).Set("KM_AUTO_PY", false).Set("KK_AUTO_PY", false)}));
  // Rupiah prices end in 500 or 000; a deleted rule must not count.
  Row deleted_rule = Row().Set("MAUANG_ID", 1).Set("NILAI_1", 1.0).Set("NILAI_2", 99.0).Set("NILAI", 0.0);
  deleted_rule.deleted = true;
  KT_RETURN_IF_ERROR(WriteTable(folder, MuhjbuTable(),
                                {Row().Set("MAUANG_ID", 1).Set("NILAI_1", 1.0).Set("NILAI_2", 499.0).Set("NILAI", 500.0),
                                 Row().Set("MAUANG_ID", 1).Set("NILAI_1", 501.0).Set("NILAI_2", 999.0).Set("NILAI", 1000.0),
                                 deleted_rule}));
  const char* groups[][3] = {{"Makanan", "Minuman", "Rumah Tangga"},
                             {"Sembako", "Camilan", "Kebersihan"},
                             {"Lokal", "Impor", "Promo"}};
  const char* group_tables[] = {"S_GRPSTK", "S_GRPST2", "S_GRPST3"};
  for (int t = 0; t < 3; ++t) {
    std::vector<Row> rows;
    for (int g = 0; g < 3; ++g) rows.push_back(SimpleIdName(g + 1, groups[t][g]).Set("HIDE_JUAL", g == 2 && t == 0));
    KT_RETURN_IF_ERROR(WriteTable(folder, GroupTable(group_tables[t]), rows));
  }
  KT_RETURN_IF_ERROR(WriteTable(folder, KaryawTable(), {SimpleIdName(1, "Andi Wijaya"), SimpleIdName(2, "Sari Lestari")}));
  KT_RETURN_IF_ERROR(WriteTable(folder, LibnasTable(),
                                {Row().Set("TANGGAL", D(2026, 1, 1)).Set("KETERANGAN", "Tahun Baru"),
                                 Row().Set("TANGGAL", D(2026, 3, 20)).Set("KETERANGAN", "Hari Raya"),
                                 Row().Set("TANGGAL", D(2026, 8, 17)).Set("KETERANGAN", "Hari Kemerdekaan"),
                                 Row().Set("TANGGAL", D(2026, 12, 25)).Set("KETERANGAN", "Hari Natal"),
                                 Row().Set("TANGGAL", D(2027, 1, 1)).Set("KETERANGAN", "Tahun Baru")}));
  KT_RETURN_IF_ERROR(WriteTable(folder, SatuanTable(), DemoUnitSetRows()));

  // Promotions of the three kinds.
  auto promo = [](int64_t item, int kind, Date from, Date to) {
    return Row().Set("STOCK_ID", static_cast<double>(item)).Set("TIPE_PRO", kind).Set("TANGGAL_1", from).Set("TANGGAL_2", to);
  };
  auto level1 = [](Row row, double price) {
    return row.Set("MU_H_J_01", 1).Set("HARGA_J_01", price).Set("JML_J_01", 1.0).Set("SAT_J_01", 1);
  };
  KT_RETURN_IF_ERROR(WriteTable(
      folder, StkproTable(),
      {level1(promo(items::kSpecialPrice, 3, D(2026, 1, 1), D(2030, 12, 31)), 15900),
       level1(promo(items::kExpiredPromo, 3, D(2025, 1, 1), D(2025, 12, 31)), 9900),
       promo(items::kWeekdayPromo, 1, D(2026, 1, 1), D(2030, 12, 31)).Set("HARI", "11111000").Set("DISC_PERS1", 10.0),
       promo(items::kMorningPromo, 2, D(2026, 1, 1), D(2030, 12, 31))
           .Set("PUKUL_1", 480).Set("PUKUL_2", 600).Set("MU_DISC_NL", 1).Set("DISC_NILAI", 1000.0).Set("DISC_SAT", 1),
       // Only on holidays.
       promo(items::kOil33, 1, D(2026, 1, 1), D(2030, 12, 31)).Set("HARI", "00000001").Set("DISC_PERS1", 5.0)}));

  auto rate = [](int currency, Date day, const char* time, double value) {
    Row row = Row().Set("MAUANG_ID", currency).Set("TANGGAL", day).Set("MUL_PUKUL", time);
    for (const char* field : {"KURS_BELI", "KURS_JUAL", "KURS_JUAL2", "KURS_JUAL3", "KURS_JUAL4", "KURS_JUAL5",
                              "KURS_PAJAK", "KURS_BUKU"}) {
      row.Set(field, value);
    }
    return row;
  };
  KT_RETURN_IF_ERROR(WriteTable(folder, KursmaTable(),
                                {rate(1, D(2020, 1, 1), "00:00", 1), rate(2, D(2026, 1, 1), "00:00", 15500),
                                 rate(2, D(2026, 6, 1), "09:00", 16000)}));
  KT_RETURN_IF_ERROR(WriteTable(folder, PelangTable(), {SimpleIdName(1, "Pelanggan Umum"), SimpleIdName(2, "CV Maju Jaya")}));
  KT_RETURN_IF_ERROR(WriteTable(folder, PelstkTable(),
                                {Row().Set("PELANG_ID", 2).Set("STOCK_ID", 2).Set("HARGA", 14000.0)}));
  KT_RETURN_IF_ERROR(WriteTable(folder, StkhjlTable(),
                                {Row().Set("GRPHJL_ID", 1).Set("STOCK_ID", 2).Set("HARGA", 14200.0)}));
  return Status::Ok();
}

}  // namespace

Row ItemRow(const DemoItem& item) {
  Row row;
  row.Set("ID", static_cast<double>(item.id)).Set("KODE_C", item.code).Set("KODE_N", item.code_n);
  for (int i = 0; i < 4; ++i) {
    if (!item.alt_codes[i].empty()) row.Set("KODE_" + std::to_string(i + 2), item.alt_codes[i]);
  }
  if (!item.barcode.empty()) row.Set("BARCODE", item.barcode);
  row.Set("NAMA", item.name);
  if (!item.name_ex1.empty()) row.Set("NAMAEX1", item.name_ex1);
  if (!item.name_ex2.empty()) row.Set("NAMAEX2", item.name_ex2);
  if (!item.quantity_picture.empty()) row.Set("QUAN_PICT", item.quantity_picture);
  row.Set("ITM_PENJEC", item.retail).Set("HIDE", item.hidden);
  for (int n = 1; n <= 30; ++n) {
    bool active = true;
    for (int off : item.inactive_warehouses) active = active && off != n;
    row.Set("GUDANG_" + Two(n), active);
  }
  row.Set("TIPE_SATU", item.unit_set).Set("SAT_ECR", item.retail_unit);
  for (int n = 1; n <= 10; ++n) {
    if (item.item_factors[n - 1] != 0) row.Set("SAT_K_" + Two(n), item.item_factors[n - 1]);
  }
  row.Set("NON_PAJAK", item.non_tax).Set("KURS_JUAL", item.rate_kind);
  for (std::size_t i = 0; i < item.levels.size() && i < 5; ++i) {
    const DemoLevel& l = item.levels[i];
    const std::string nn = Two(static_cast<int>(i) + 1);
    row.Set("MU_H_J_" + nn, l.currency).Set("HARGA_J_" + nn, l.price).Set("JML_J_" + nn, l.quantity)
        .Set("SAT_J_" + nn, l.unit);
    if (l.disc1 != 0) row.Set("DISC1_J_" + nn, l.disc1);
  }
  row.deleted = item.deleted;
  return row;
}

Row DemoKontroRow() {
  Row row;
  row.Set("VERSI", 830).Set("STK_K_CHR", true).Set("STK_K_CLR", "#").Set("STK_K_CLR2", false)
      .Set("STK_K_MUL", true).Set("STK_KODE2U", true).Set("STK_GD_AKT", true).Set("PJECR_GUD", 1)
      .Set("STK_PICT", "999,999").Set("STK_K_SAT", false).Set("STK_SAT_D", 2)
      .Set("STK_H_JL2", true).Set("STK_H_JL3", true).Set("STK_H_JL4", true).Set("STK_H_JL5", false)
      .Set("PJECR_MU", 1).Set("PJ_HAR_EX1", "").Set("PJ_HAR_EX2", "").Set("PJECR_PJK", 0.0)
      .Set("ROUND_DEC", false).Set("PJ_HAR_BL2", false).Set("PJ_HAR_BL3", false)
      .Set("PENJ_DISC2", true).Set("PENJ_DISC3", true).Set("PENJ_DISCM", false).Set("PENJ_DISCI", false)
      .Set("PENJ_DISCB", false).Set("PENJ_DISCA", false);
  const char* names[] = {"Toko Depan", "Gudang Belakang", "Gudang Pusat"};
  for (int n = 1; n <= 3; ++n) row.Set("NM_GUD_" + Two(n), names[n - 1]);
  row.Set("PJECR_SKDT", "20").Set("PJECR_SKQT", "21").Set("PJECR_SKDL", 7).Set("PJECR_SKQL", 5);
  return row;
}

std::vector<Row> DemoUnitSetRows() {
  struct Slot {
    const char* text;
    int id;
    double count;
  };
  auto set = [](const char* name, int id, std::vector<Slot> slots) {
    Row row = Row().Set("SATUAN_TXT", name).Set("SATUAN_VAL", id);
    for (std::size_t i = 0; i < slots.size(); ++i) {
      const std::string nn = Two(static_cast<int>(i) + 1);
      row.Set("SAT_" + nn + "_TXT", slots[i].text).Set("SAT_" + nn + "_VAL", slots[i].id)
          .Set("SAT_" + nn + "_SAT", slots[i].count);
    }
    return row;
  };
  return {
      set("PCS/BOX/CTN", 1, {{"PCS", 1, 1}, {"BOX", 2, 12}, {"CTN", 3, 144}}),
      set("GR/KG/ONS", 2, {{"GR", 4, 1}, {"KG", 5, 1000}, {"ONS", 10, 100}}),
      set("BTL/LSN/DUS", 3, {{"BTL", 1, 1}, {"LSN", 6, 12}, {"DUS", 7, 24}}),
      set("PAK/BAL", 4, {{"PAK", 8, 1}, {"BAL", 9, 20}}),
      set("SACHET/RENCENG", 5, {{"SACHET", 1, 1}, {"RENCENG", 2, 10}, {"KARTON", 3, 120}}),
  };
}

std::vector<DemoItem> ShowcaseItems() {
  std::vector<DemoItem> out;
  DemoItem water = Basic(items::kWater, "AQ600", "Air Mineral 600ml", 3500, 3, 1);
  water.barcode = "8991002100012";
  water.alt_codes[0] = "AQUA600";
  water.levels = {{1, 3500, 1, 1, 0}, {1, 3300, 12, 1, 0}, {1, 72000, 1, 7, 0}};  // a DUS is 24 BTL
  out.push_back(water);

  DemoItem coffee = Basic(items::kCoffee18, "KOPI200", "Kopi Bubuk 200gram", 15000);
  coffee.barcode = Ean13(2);
  coffee.levels.push_back({1, 14500, 1, 2, 0});
  out.push_back(coffee);
  DemoItem oil = Basic(items::kOil33, "MGS2L", "Minyak Goreng Sawit Pouch 2 Liter", 36500);
  oil.barcode = Ean13(3);
  out.push_back(oil);
  out.push_back(Basic(items::kSoap60, "SCP750", "Sabun Cair Cuci Piring Jeruk Nipis Isi Ulang Refill 750ml Pk", 18900));

  DemoItem hidden = Basic(items::kHidden, "LAMA01", "Biskuit Kelapa Kaleng Lama", 25000);
  hidden.hidden = true;
  out.push_back(hidden);
  DemoItem wholesale = Basic(items::kNotRetail, "GROSIR1", "Beras Karung 50kg Grosir", 650000);
  wholesale.retail = false;
  out.push_back(wholesale);
  DemoItem elsewhere = Basic(items::kOtherWarehouse, "GDG2", "Semen Putih 1kg", 8000);
  elsewhere.inactive_warehouses = {1};
  out.push_back(elsewhere);
  DemoItem barcode_only = Basic(items::kBarcodeOnly, "TEH350", "Teh Melati Botol 350ml", 4500, 3, 1);
  barcode_only.barcode = "8990000000088";
  out.push_back(barcode_only);
  DemoItem alt_only = Basic(items::kAltCodeOnly, "KCP135", "Kecap Manis Botol 135ml", 7200, 3, 1);
  alt_only.alt_codes[1] = "KECAPALT";
  out.push_back(alt_only);

  DemoItem imported = Basic(items::kImported, "CKLT100", "Cokelat Hazelnut Impor 100g", 0);
  imported.levels = {{2, 2.50, 1, 1, 0}};
  out.push_back(imported);
  out.push_back(Basic(items::kSpecialPrice, "GULA1KG", "Gula Pasir 1kg", 17500));
  out.push_back(Basic(items::kExpiredPromo, "TEPUNG1", "Tepung Terigu 1kg", 12000));
  out.push_back(Basic(items::kWeekdayPromo, "SUSU1L", "Susu UHT Full Cream 1L", 19500));
  out.push_back(Basic(items::kMorningPromo, "ROTI01", "Roti Tawar Gandum", 16000));

  DemoItem box = Basic(items::kBoxRetail, "MIE5BOX", "Mie Instan Goreng", 3000, 1, 2);
  box.name_ex1 = "Isi 12";
  box.levels = {{1, 3000, 1, 1, 0}, {1, 34000, 1, 2, 0}};
  out.push_back(box);
  DemoItem no_retail_unit = Basic(items::kNoRetailUnit, "GARAM250", "Garam Dapur 250g", 2500, 1, 0);
  out.push_back(no_retail_unit);
  out.push_back(Basic(items::kNoExtensions, "tisu01", "Tisu Wajah 250 Lembar", 14000));
  DemoItem extensions = Basic(items::kWithExtensions, "SAMPO01", "Sampo Anti Ketombe", 21000, 3, 1);
  extensions.name_ex1 = "Botol 170ml";
  extensions.name_ex2 = "Menthol";
  out.push_back(extensions);
  DemoItem weighed = Basic(items::kWeighed, "DAGING", "Daging Sapi Has Dalam", 145000, 2, 4);
  weighed.levels = {{1, 145000, 1, 5, 0}};
  weighed.quantity_picture = "999,999.99";
  out.push_back(weighed);
  out.push_back(Basic(items::kRounded, "KRP01", "Kerupuk Udang 250g", 12345));
  return out;
}

Status WriteDemoDataSet(const std::filesystem::path& dir, const DemoOptions& options) {
  const std::filesystem::path folder = dir / "ST_DB";
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) return Status::IOError(folder.string() + ": " + ec.message());
  KT_RETURN_IF_ERROR(WriteFixedTables(folder));

  KT_ASSIGN_OR_RETURN(std::unique_ptr<TableWriter> stock, TableWriter::Create(folder, StockTable(true)));
  const std::vector<DemoItem> showcase = ShowcaseItems();
  for (const DemoItem& item : showcase) KT_RETURN_IF_ERROR(stock->Append(ItemRow(item)));
  // Generated items start at 100 so the showcase keeps room for more.
  const int64_t generated = std::max<int64_t>(0, options.item_count - static_cast<int64_t>(showcase.size()));
  for (int64_t i = 0; i < generated; ++i) KT_RETURN_IF_ERROR(stock->Append(ItemRow(Generated(100 + i))));
  return stock->Finish();
}

}  // namespace kt::data::demo
