#include "server/data/item_lookup.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <set>

#include "common/text/text.h"
#include "server/data/code_key.h"
#include "server/data/data_folder.h"
#include "server/data/driver/work_area.h"
#include "server/data/messages.h"
#include "server/data/pricing/lookup_pricing.h"
#include "server/data/pricing/table_sources.h"

namespace kt::data {

namespace {

constexpr std::string_view kBarcodeField = "BARCODE";
constexpr std::array<std::string_view, 4> kAlternativeOrders = {"KODE_2", "KODE_3", "KODE_4", "KODE_5"};

// A table that cannot be read fails every scan; its reason is told to the operator once per
// table and cause (numbers such as offsets and record numbers aside), not once per scan.
void ReportReadFailureOnce(EventSink& sink, const std::filesystem::path& table, std::string_view reason) {
  static std::mutex* mutex = new std::mutex();
  static std::set<std::string>* told = new std::set<std::string>();  // guarded by *mutex
  std::string key = table.string() + '\n';
  for (char c : reason) {
    if (!std::isdigit(static_cast<unsigned char>(c))) key += c;
  }
  {
    std::scoped_lock lock(*mutex);
    if (!told->insert(std::move(key)).second) return;
  }
  sink.ErrorBox("Gagal baca " + table.filename().string() + ": " + std::string(reason));
}

// Collects what the field reads of one record would report, so that a table of the wrong layout
// fails the scan once instead of showing a box for every field of every scan.
class FieldProblems : public EventSink {
 public:
  void ErrorBox(std::string_view text) override {
    if (first.empty()) first = std::string(text);
  }
  std::string first;
};

}  // namespace

ITEMPENJUAECERAN::ITEMPENJUAECERAN(GLOBALVARIABLE& globals, EventSink& sink, const Clock& clock)
    : globals_(globals), sink_(sink), clock_(clock) {}

ITEMPENJUAECERAN::~ITEMPENJUAECERAN() = default;

void ITEMPENJUAECERAN::SetConnectionNumber(uint32_t n) {
  const std::string number = std::to_string(n);
  CSTOCK = "STOCK" + number;
  CPELANG = "PELANG" + number;
  CPELSTK = "PELSTK" + number;
  CSTKHJL = "STKHJL" + number;
  CSTKPRO = "STKPRO" + number;
  CKURSMA = "KURSMA" + number;
}

bool ITEMPENJUAECERAN::DBSUBOPEN() {
  if (!globals_.IsDatabaseOpen()) return false;
  DBSUBCLOSE();
  const std::filesystem::path folder = globals_.DBFOLDER();
  const struct {
    std::string_view table;
    const std::string* alias;
    std::unique_ptr<WorkArea>* area;
  } tables[] = {
      {"S_STOCK", &CSTOCK, &stock_},   {"S_PELANG", &CPELANG, &pelang_}, {"S_PELSTK", &CPELSTK, &pelstk_},
      {"S_STKHJL", &CSTKHJL, &stkhjl_}, {"S_STKPRO", &CSTKPRO, &stkpro_}, {"S_KURSMA", &CKURSMA, &kursma_},
  };
  for (const auto& t : tables) {
    auto opened = WorkArea::Open(TablePath(folder, t.table), *t.alias);
    if (!opened.ok()) {
      sink_.ScanInfo(msg::OpenFailedLine(t.table, opened.status().message()));
      DBSUBCLOSE();
      return false;
    }
    *t.area = std::move(opened).value();
  }
  return true;
}

void ITEMPENJUAECERAN::DBSUBCLOSE() {
  stock_.reset();
  pelang_.reset();
  pelstk_.reset();
  stkhjl_.reset();
  stkpro_.reset();
  kursma_.reset();
}

bool ITEMPENJUAECERAN::IsSubOpen() const { return stock_ != nullptr; }

std::string ITEMPENJUAECERAN::StockAlias() const { return stock_ ? stock_->alias() : std::string(); }

std::vector<std::string> ITEMPENJUAECERAN::FirstCodes(int count) {
  std::vector<std::string> codes;
  if (stock_ == nullptr || !stock_->SetOrder("").ok() || !stock_->GoTop().ok()) return codes;
  for (int n = 0; n < count && !stock_->Eof(); ++n) {
    for (const char* field : {"KODE_C", "KODE_N"}) {
      auto code = stock_->GetString(field);
      if (code.ok() && !text::Trim(*code).empty()) {
        codes.emplace_back(text::Trim(*code));
        break;
      }
    }
    if (!stock_->Skip().ok()) break;
  }
  return codes;
}

void ITEMPENJUAECERAN::SHOWERROR(std::string_view text) {
  sink_.ScanInfo(std::string(msg::kErrorLinePrefix) + std::string(text));
  result_.error = std::string(text);
}

void ITEMPENJUAECERAN::Fail(std::string_view text) {
  SHOWERROR(text);
  result_.found = false;
}

void ITEMPENJUAECERAN::RefreshDatabase() {
  const uint64_t version = globals_.DatabaseVersion();
  if (version != db_version_ || db_ == nullptr) {
    db_ = globals_.Database();
    db_version_ = version;
  }
  const uint64_t config = globals_.ConfigVersion();
  if (config != config_version_) {
    fixed_level_ = globals_.WCONFIGHARGAJUAL();
    config_version_ = config;
  }
}

Result<std::string_view> ITEMPENJUAECERAN::SeekKey(const std::string& key) {
  // Exact seeks by code, then by the alternative codes, then by barcode; an order the index does
  // not have finds nothing. The driver confirms the misses together.
  const DBKONTRO& kontro = db_->kontro;
  std::array<OrderSeek, 2 + kAlternativeOrders.size()> seeks;
  std::size_t count = 0;
  seeks[count++] = {"KODE", key};
  if (kontro.LSTOCKMULTIKODE) {
    for (std::string_view order : kAlternativeOrders) seeks[count++] = {order, key};
  }
  if (kontro.LSTOCKKODE2USETRANSAKSI) {
    if (barcode_layout_ != stock_->layout_id()) {
      barcode_width_ = stock_->FieldWidth(kBarcodeField);
      barcode_layout_ = stock_->layout_id();
    }
    // The key is upper case already: cut or blank-padded to the barcode's width, as PadKey would.
    const std::size_t width = static_cast<std::size_t>(barcode_width_);
    barcode_key_.assign(key, 0, std::min(key.size(), width));
    barcode_key_.resize(width, ' ');
    seeks[count++] = {kBarcodeField, barcode_key_};
  }
  KT_ASSIGN_OR_RETURN(const OrderSeekResult sought, stock_->SeekInOrders(std::span(seeks.data(), count)));
  for (std::size_t i = 0; i < count; ++i) {
    if (sought.missing & (uint32_t{1} << i)) {
      ReportReadFailureOnce(sink_, stock_->path(), "no tag " + std::string(seeks[i].order));
    }
  }
  if (!sought.found) return std::string_view();
  return seeks[*sought.found].order;
}

const LookupResult& ITEMPENJUAECERAN::Find(std::string_view code, std::optional<double> quantity) {
  // CERRORMESS keeps the last error text until another error replaces it.
  result_.found = false;
  result_.unit_set = nullptr;
  result_.order = {};
  result_.quantity = 0;
  result_.unit = 0;
  line_ = ITEMPENJUAECERAN_LINE();
  RefreshDatabase();
  if (!globals_.IsDatabaseOpen() || db_ == nullptr || stock_ == nullptr) {
    result_.item.CLEAR();
    Fail(msg::kDatabaseNotOpen);
    return result_;
  }
  now_ = clock_.Now();
  const DBKONTRO& kontro = db_->kontro;

  const std::string cleared = ApplyClearText(text::Trim(code), kontro.CSTOCKKODECLEAR, kontro.LSTOCKKODECLEARALL);
  QuantitySplit split = SplitQuantity(cleared);
  result_.quantity = ScanQuantity(split.quantity_text, quantity);
  key_ = PadKey(split.code, db_->CodeWidth());

  // A blank key must not match the many items whose alternative codes or barcode are blank.
  bool found = false;
  if (!text::Trim(key_).empty()) {
    Result<std::string_view> sought = SeekKey(key_);
    if (!sought.ok()) {
      // The driver has already read again as long as a writer seemed to be at work.
      result_.item.CLEAR();
      result_.quantity = 0;
      ReportReadFailureOnce(sink_, stock_->path(), sought.status().message());
      Fail(std::string(text::TrimRight(key_)) + std::string(msg::kStockReadFailed) + sought.status().message());
      return result_;
    }
    found = !sought->empty();
    result_.order = *sought;
  }
  // A missed exact seek already leaves the area at end of table; a blank key never sought.
  if (!found && !stock_->Eof()) {
    RECITEM none;
    none.SEEKFAILED(*stock_);
  }
  Check(key_, /*retail_unit=*/true);
  return result_;
}

void ITEMPENJUAECERAN::Check(std::string_view code, bool retail_unit) {
  // The texts begin with the code; they are built only on an error.
  const auto with_code = [code](std::string_view what) { return std::string(text::TrimRight(code)) + std::string(what); };
  const DBKONTRO& kontro = db_->kontro;
  RECITEM& item = result_.item;
  // A record that cannot be read, or a table without the item fields, fails the scan with the
  // reason; it is no item with empty fields.
  FieldProblems problems;
  Status readable = Status::Ok();
  if (!stock_->Eof() && !stock_->fields().empty()) readable = stock_->RawAt(1).status();
  if (readable.ok()) {
    item.LOADINTO(*stock_, kontro, db_->units, problems);
    if (!problems.first.empty()) readable = Status::Corruption(problems.first);
  }
  if (!readable.ok()) {
    ReportReadFailureOnce(sink_, stock_->path(), readable.message());
    Fail(with_code(msg::kStockReadFailed) + readable.message());
    item.SEEKFAILED(*stock_);
    result_.quantity = 0;
    result_.order = {};
    return;
  }

  if (item.LEOF) {
    Fail(with_code(msg::kCodeNotFound));
  } else if (!item.LITEMPENJEC) {
    Fail(with_code(msg::kNotForRetail));
    item.SEEKFAILED(*stock_);
  } else if (item.LNONAKTIF) {
    Fail(with_code(msg::kItemInactive));
    item.SEEKFAILED(*stock_);
  } else if (kontro.LSTOCKGUDANGAKTIVASI && !item.ISGUDANG(kontro.WPENJECERANGUDANG)) {
    Fail(with_code(msg::kWarehouseInactive) + kontro.WarehouseName(kontro.WPENJECERANGUDANG));
    item.SEEKFAILED(*stock_);
  }
  if (item.LEOF) {
    result_.found = false;
    result_.order = {};
    result_.quantity = 0;
    result_.unit = 0;
    return;
  }
  result_.found = true;
  result_.unit_set = db_->units.Find(item.WTIPESAT);
  result_.quantity = RoundToPicture(result_.quantity, item.CQUANPICT);
  if (retail_unit) result_.unit = item.WSATECERAN;
}

void ITEMPENJUAECERAN::Price() {
  line_ = ITEMPENJUAECERAN_LINE();
  if (!result_.found) return;
  // Inconsistent item data fails this one lookup; the session keeps serving.
  const Status priced = ASSIGNHARGA();
  if (!priced.ok()) {
    Fail(priced.message());
    result_.item.SEEKFAILED(*stock_);
    result_.order = {};
    result_.quantity = 0;
    result_.unit = 0;
    line_ = ITEMPENJUAECERAN_LINE();
  }
}

void ITEMPENJUAECERAN::SEEKKODE(std::string_view code, std::optional<double> quantity) {
  if (Find(code, quantity).found) Price();
}

void ITEMPENJUAECERAN::ASSIGNID(std::string_view code, bool retail_unit) {
  line_ = ITEMPENJUAECERAN_LINE();
  RefreshDatabase();
  if (db_ == nullptr || stock_ == nullptr) {
    result_.item.CLEAR();
    Fail(msg::kDatabaseNotOpen);
    return;
  }
  now_ = clock_.Now();
  result_.found = false;
  result_.quantity = 1;
  result_.unit = 0;
  Check(code, retail_unit);
  if (result_.found) Price();
}

Status ITEMPENJUAECERAN::ASSIGNHARGA() {
  if (!result_.found || db_ == nullptr) return Status::InvalidArgument("pricing: no item or no database");
  const pricing::PricingLists& lists = pricing::PricingListsFor(db_);
  std::optional<pricing::TablePromotionSource> promotions;
  if (stkpro_ != nullptr) promotions.emplace(*stkpro_, lists.holidays, &promotion_items_);
  std::optional<pricing::TableRateSource> rates;
  if (kursma_ != nullptr) rates.emplace(*kursma_, &rate_memo_);

  pricing::PriceInputs in;
  in.item = &result_.item;
  in.units = &db_->units;
  in.per_item_factors = db_->kontro.LSTOCKKONVSATUAN;
  in.quantity = result_.quantity;
  in.unit = result_.unit;
  in.lists = &lists;
  in.promotions = promotions ? &*promotions : nullptr;
  in.rates = rates ? &*rates : nullptr;
  in.when = {now_.date, now_.minutes};
  in.WCONFIGHARGAJUAL = fixed_level_;
  in.DWRECNO = result_.item.DWRECNO;
  KT_ASSIGN_OR_RETURN(line_, pricing::PriceItem(in));
  return Status::Ok();
}

namespace pricing {

std::string LookupPriceText(const ITEMPENJUAECERAN& lookup) {
  const ITEMPENJUAECERAN_LINE& line = lookup.OITEMPENJUAECERAN;
  if (const auto& db = lookup.database()) return LookupPriceText(line, PricingListsFor(db));
  return LookupPriceText(line);
}

}  // namespace pricing

}  // namespace kt::data
