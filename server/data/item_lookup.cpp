#include "server/data/item_lookup.h"

#include <cctype>
#include <mutex>
#include <set>

#include "common/text/text.h"
#include "server/data/code_key.h"
#include "server/data/data_folder.h"
#include "server/data/driver/work_area.h"
#include "server/data/messages.h"
#include "server/data/pricing/lookup_pricing.h"

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

void ITEMPENJUAECERAN::SHOWERROR(std::string_view text) {
  sink_.ScanInfo(std::string(msg::kErrorLinePrefix) + std::string(text));
  CERRORMESS = std::string(text);
}

Result<bool> ITEMPENJUAECERAN::SeekKey(const std::string& key) {
  // An exact seek in one order; an order the index does not have finds nothing.
  auto seek_in = [&](std::string_view order, const std::string& k) -> Result<bool> {
    const Status ordered = stock_->SetOrder(order);
    if (ordered.IsNotFound()) {
      ReportReadFailureOnce(sink_, stock_->path(), "no tag " + std::string(order));
      return false;
    }
    KT_RETURN_IF_ERROR(ordered);
    return stock_->Seek(k);
  };
  KT_ASSIGN_OR_RETURN(bool found, seek_in("KODE", key));
  if (found) return true;
  const DBKONTRO& kontro = db_->kontro;
  if (kontro.LSTOCKMULTIKODE) {
    for (std::string_view order : kAlternativeOrders) {
      KT_ASSIGN_OR_RETURN(found, seek_in(order, key));
      if (found) return true;
    }
  }
  if (kontro.LSTOCKKODE2USETRANSAKSI) {
    const int width = stock_->FieldWidth(kBarcodeField);
    KT_ASSIGN_OR_RETURN(found, seek_in(kBarcodeField, PadKey(key, static_cast<std::size_t>(width))));
    if (found) return true;
  }
  return false;
}

void ITEMPENJUAECERAN::SEEKKODE(std::string_view code, std::optional<double> quantity) {
  OITEMPENJUAECERAN = ITEMPENJUAECERAN_LINE();
  db_ = globals_.Database();
  if (!globals_.IsDatabaseOpen() || db_ == nullptr || stock_ == nullptr) {
    ORECITEM = RECITEM();
    SHOWERROR(msg::kDatabaseNotOpen);
    return;
  }
  now_ = clock_.Now();
  const DBKONTRO& kontro = db_->kontro;

  const std::string cleared = ApplyClearText(text::Trim(code), kontro.CSTOCKKODECLEAR, kontro.LSTOCKKODECLEARALL);
  QuantitySplit split = SplitQuantity(cleared);
  OITEMPENJUAECERAN.FJUMLAH = ScanQuantity(split.quantity_text, quantity);
  const std::string key = PadKey(split.code, db_->CodeWidth());

  // A blank key must not match the many items whose alternative codes or barcode are blank.
  bool found = false;
  if (!text::Trim(key).empty()) {
    Result<bool> sought = SeekKey(key);
    if (!sought.ok()) {
      // The driver has already read again as long as a writer seemed to be at work.
      ORECITEM = RECITEM();
      ReportReadFailureOnce(sink_, stock_->path(), sought.status().message());
      SHOWERROR(std::string(text::TrimRight(key)) + std::string(msg::kStockReadFailed) + sought.status().message());
      return;
    }
    found = *sought;
  }
  // A missed exact seek already leaves the area at end of table; a blank key never sought.
  if (!found && !stock_->Eof()) {
    RECITEM none;
    none.SEEKFAILED(*stock_);
  }
  ASSIGNID(key);
}

void ITEMPENJUAECERAN::ASSIGNID(std::string_view code, bool retail_unit) {
  const std::string text(text::TrimRight(code));
  if (db_ == nullptr) db_ = globals_.Database();
  if (db_ == nullptr || stock_ == nullptr) {
    ORECITEM = RECITEM();
    SHOWERROR(msg::kDatabaseNotOpen);
    return;
  }
  const DBKONTRO& kontro = db_->kontro;
  // A record that cannot be read, or a table without the item fields, fails the scan with the
  // reason; it is no item with empty fields.
  FieldProblems problems;
  Status readable = Status::Ok();
  if (!stock_->Eof() && !stock_->fields().empty()) readable = stock_->GetRaw(stock_->fields().front().name).status();
  if (readable.ok()) {
    ORECITEM = RECITEM::LOADRECORD(*stock_, kontro, db_->units, problems);
    if (!problems.first.empty()) readable = Status::Corruption(problems.first);
  }
  if (!readable.ok()) {
    ReportReadFailureOnce(sink_, stock_->path(), readable.message());
    SHOWERROR(text + std::string(msg::kStockReadFailed) + readable.message());
    ORECITEM.SEEKFAILED(*stock_);
    OITEMPENJUAECERAN = ITEMPENJUAECERAN_LINE();
    return;
  }

  if (ORECITEM.LEOF) {
    SHOWERROR(text + std::string(msg::kCodeNotFound));
  } else if (!ORECITEM.LITEMPENJEC) {
    SHOWERROR(text + std::string(msg::kNotForRetail));
    ORECITEM.SEEKFAILED(*stock_);
  } else if (ORECITEM.LNONAKTIF) {
    SHOWERROR(text + std::string(msg::kItemInactive));
    ORECITEM.SEEKFAILED(*stock_);
  } else if (kontro.LSTOCKGUDANGAKTIVASI && !ORECITEM.ISGUDANG(kontro.WPENJECERANGUDANG)) {
    SHOWERROR(text + std::string(msg::kWarehouseInactive) + kontro.WarehouseName(kontro.WPENJECERANGUDANG));
    ORECITEM.SEEKFAILED(*stock_);
  }

  ITEMPENJUAECERAN_LINE& line = OITEMPENJUAECERAN;
  if (ORECITEM.LEOF) {
    line.ORECITEM.reset();
    line.WSATUANID = 0;
    line.FJUMLAH = 0;
    return;
  }
  line.ORECITEM = ORECITEM;
  line.DWRECNO = ORECITEM.DWRECNO;
  line.FJUMLAH = RoundToPicture(line.FJUMLAH, ORECITEM.CQUANPICT);
  if (retail_unit) line.WSATUANID = ORECITEM.WSATECERAN;

  // Inconsistent item data fails this one lookup; the session keeps serving.
  const Status priced = ASSIGNHARGA();
  if (!priced.ok()) {
    SHOWERROR(priced.message());
    ORECITEM.SEEKFAILED(*stock_);
    OITEMPENJUAECERAN = ITEMPENJUAECERAN_LINE();
  }
}

Status ITEMPENJUAECERAN::ASSIGNHARGA() {
  ITEMPENJUAECERAN_LINE& line = OITEMPENJUAECERAN;
  const RECITEM& item = *line.ORECITEM;
  // Every price needs the line quantity in smallest units; inconsistent unit data stops here.
  KT_ASSIGN_OR_RETURN(const double smallest_quantity,
                      item.CONV2SATUANKECIL(db_->units, db_->kontro.LSTOCKKONVSATUAN, line.FJUMLAH,
                                            line.WSATUANID));
  (void)smallest_quantity;
  return pricing::PriceLookupLine(*this);
}

}  // namespace kt::data
