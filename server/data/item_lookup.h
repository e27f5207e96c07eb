// ITEMPENJUAECERAN: one session's lookup object. It owns the session's work areas of the item,
// promotion, rate and customer tables. A scan flows through it as values:
//   Find(code)  -> LookupResult: the item record, its unit set and the order that found it, or
//                  the error text (the code was not found, or the item may not be sold);
//   Price()     -> the priced line item (pricing/lookup_pricing.h: PriceItem over the record,
//                  the unit sets, promotions and rates read through sources, the lookup time);
//   the reply   -> reply/scan_reply.h takes the result and the line.
// SEEKKODE runs Find and Price; SEEKFOUND, ORECITEM, OITEMPENJUAECERAN and CERRORMESS name its
// outcome.
//
// Use: set the work-area names (SetConnectionNumber), DBSUBOPEN until it returns true, then for
// each code SEEKKODE (or Find and Price); DBSUBCLOSE at the end. Failures never end anything:
// they go to the scan list as "###ERR### : " + text and to CERRORMESS.
//
// What changes only with a database open (the snapshot, the lists pricing derives from it) is
// taken again only when the database version moves, not per scan.
//
// Thread safety: one object belongs to one thread at a time. Objects of different sessions run
// in parallel; they share only the GLOBALVARIABLE snapshot, the sink and the clock.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/event_sink.h"
#include "server/data/clock.h"
#include "server/data/global_variable.h"
#include "server/data/item_line.h"
#include "server/data/pricing/promotion_items.h"
#include "server/data/pricing/table_sources.h"
#include "server/data/recitem.h"

namespace kt::data {

class WorkArea;

// What Find gives for one scanned code.
struct LookupResult {
  bool found = false;
  RECITEM item;                       // the empty record unless found
  const UnitSet* unit_set = nullptr;  // the item's set in the snapshot; null when it has none
  std::string_view order;             // the order that found it: "KODE", "KODE_2".."KODE_5", "BARCODE"
  double quantity = 0;                // the scanned quantity, rounded to the item's picture
  uint16_t unit = 0;                  // the unit of the quantity (the retail unit)
  std::string error;                  // CERRORMESS: only written on an error
};

class ITEMPENJUAECERAN {
  // First, so that the names below refer to constructed members.
  LookupResult result_;
  ITEMPENJUAECERAN_LINE line_;

 public:
  // `globals`, `sink` and `clock` must outlive the object.
  ITEMPENJUAECERAN(GLOBALVARIABLE& globals, EventSink& sink, const Clock& clock = DefaultClock());
  ~ITEMPENJUAECERAN();
  ITEMPENJUAECERAN(const ITEMPENJUAECERAN&) = delete;
  ITEMPENJUAECERAN& operator=(const ITEMPENJUAECERAN&) = delete;

  // Work-area names of the session with connection number n: "STOCK"+n, "PELANG"+n, ...
  void SetConnectionNumber(uint32_t n);
  std::string CSTOCK, CSTKPRO, CSTKHJL, CPELANG, CPELSTK, CKURSMA;

  // Opens S_STOCK, S_PELANG, S_PELSTK, S_STKHJL, S_STKPRO, S_KURSMA from the data folder under
  // the session's names. False at once while the database is not open; on a table that does not
  // open, "### Gagal buke file NAME !" goes to the scan list, everything is closed and false
  // returned. Calling it while open reopens.
  bool DBSUBOPEN();
  void DBSUBCLOSE();
  bool IsSubOpen() const;
  // The alias of the open item-table area; empty while closed.
  std::string StockAlias() const;

  // Finds a scanned code and checks that the item may be sold. `quantity` is used when the code
  // has no quantity prefix. The result lasts until the next Find.
  const LookupResult& Find(std::string_view code, std::optional<double> quantity = std::nullopt);
  // Prices the found item of the last Find into OITEMPENJUAECERAN; a failure (inconsistent unit
  // data, an unreadable table) turns the result into that error.
  void Price();

  // Runs the whole lookup of a scanned code: Find, then Price when found.
  void SEEKKODE(std::string_view code, std::optional<double> quantity = std::nullopt);
  // True exactly when the line item holds an item record.
  bool SEEKFOUND() const { return OITEMPENJUAECERAN.ORECITEM.has_value(); }
  // LIID of the found item, 0 when none.
  int64_t ITEMID() const { return SEEKFOUND() ? ORECITEM.LIID : 0; }

  // Validates the record on which the item area stands and prices it. `code` begins every message
  // (trailing blanks removed). `retail_unit` selects the retail unit.
  void ASSIGNID(std::string_view code, bool retail_unit = true);

  // Reports a lookup failure: "###ERR### : " + text to the scan list, text into CERRORMESS.
  void SHOWERROR(std::string_view text);

  // Prices the line item (CHECKHARGA, then HITUNGPAJAK). An error (inconsistent unit data)
  // carries the operator text; the caller fails the lookup with it.
  Status ASSIGNHARGA();

  // The codes (KODE_C, else KODE_N, trimmed) of the first `count` records in table order; moves
  // the item area, so call it between lookups.
  std::vector<std::string> FirstCodes(int count);

  // ---- The last lookup ----
  const LookupResult& result() const { return result_; }
  // The names a reader of the lookup looks for, over the result and the priced line.
  const RECITEM& ORECITEM = result_.item;
  const ITEMPENJUAECERAN_LINE& OITEMPENJUAECERAN = line_;
  const std::string& CERRORMESS = result_.error;

  // Customer and division context. A scan never sets them: they stay 0 for the whole session.
  int64_t customer_id = 0;
  double customer_disc1 = 0, customer_disc2 = 0, customer_disc3 = 0;
  int customer_disc_priority = 0;
  int customer_price_level = 0;
  int64_t division_id = 0;

  // The database snapshot of the last lookup (null before the first with an open database).
  const std::shared_ptr<const DatabaseSnapshot>& database() const { return db_; }
  // The lookup's date and time, taken once at the start of SEEKKODE.
  const LookupTime& lookup_time() const { return now_; }

 private:
  // Takes the database snapshot again when it has changed.
  void RefreshDatabase();
  // Runs the seeks of one padded key; the order that found it, or empty.
  Result<std::string_view> SeekKey(const std::string& key);
  // Fails the result with `text`.
  void Fail(std::string_view text);
  // Loads and checks the record on which the item area stands (ASSIGNID without the pricing).
  void Check(std::string_view code, bool retail_unit);

  GLOBALVARIABLE& globals_;
  EventSink& sink_;
  const Clock& clock_;

  std::shared_ptr<const DatabaseSnapshot> db_;
  uint64_t db_version_ = 0;
  int fixed_level_ = 0;
  uint64_t config_version_ = 0;
  LookupTime now_;
  std::string key_;  // the padded key of the last Find, reused
  std::string barcode_key_;  // the same at the barcode's width, reused
  uint64_t barcode_layout_ = 0;  // the stock table layout barcode_width_ belongs to
  int barcode_width_ = 0;
  pricing::PromotionItems promotion_items_;
  pricing::RateMemo rate_memo_;

  std::unique_ptr<WorkArea> stock_, pelang_, pelstk_, stkhjl_, stkpro_, kursma_;
};

namespace pricing {
// The {hargajual} text of the lookup's last line item; without a database snapshot the picture
// has no decimals. The one place the reply, the local test window and the tools take it from.
std::string LookupPriceText(const ITEMPENJUAECERAN& lookup);
}  // namespace pricing

}  // namespace kt::data
