// ITEMPENJUAECERAN: one session's lookup object. It owns the session's work areas of the item,
// promotion, rate and customer tables, finds a scanned code through the item code orders,
// validates the item against the control record and builds the priced line item.
//
// Use: set the work-area names (SetConnectionNumber), DBSUBOPEN until it returns true, then for
// each code SEEKKODE and read SEEKFOUND, ORECITEM, OITEMPENJUAECERAN and CERRORMESS; DBSUBCLOSE at
// the end. Failures never end anything: they go to the scan list as "###ERR### : " + text and to
// CERRORMESS.
//
// Thread safety: one object belongs to one thread at a time. Objects of different sessions run
// in parallel; they share only the GLOBALVARIABLE snapshot, the sink and the clock.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "server/data/clock.h"
#include "server/data/event_sink.h"
#include "server/data/global_variable.h"
#include "server/data/item_line.h"
#include "server/data/recitem.h"

namespace kt::data {

class WorkArea;

class ITEMPENJUAECERAN {
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

  // Runs the whole lookup of a scanned code. `quantity` is used when the code has no quantity
  // prefix. Afterwards SEEKFOUND, ORECITEM, OITEMPENJUAECERAN and CERRORMESS hold the result.
  void SEEKKODE(std::string_view code, std::optional<double> quantity = std::nullopt);
  // True exactly when the line item holds an item record.
  bool SEEKFOUND() const { return OITEMPENJUAECERAN.ORECITEM.has_value(); }
  // LIID of the found item, 0 when none.
  int64_t ITEMID() const { return SEEKFOUND() ? ORECITEM.LIID : 0; }

  // Validates the record on which the S_STOCK area stands and builds the line item.
  // `code` begins every message (trailing blanks removed). `retail_unit` selects the retail unit.
  void ASSIGNID(std::string_view code, bool retail_unit = true);

  // Reports a lookup failure: "###ERR### : " + text to the scan list, text into CERRORMESS.
  void SHOWERROR(std::string_view text);

  // Prices the line item (CHECKHARGA, then HITUNGPAJAK). An error (inconsistent unit data)
  // carries the operator text; ASSIGNID then fails the lookup with it.
  Status ASSIGNHARGA();

  // ---- Result of the last lookup ----
  ITEMPENJUAECERAN_LINE OITEMPENJUAECERAN;
  RECITEM ORECITEM;
  std::string CERRORMESS;  // only written on an error

  // Customer and division context. A scan never sets them: they stay 0 for the whole session.
  int64_t customer_id = 0;
  double customer_disc1 = 0, customer_disc2 = 0, customer_disc3 = 0;
  int customer_disc_priority = 0;
  int customer_price_level = 0;
  int64_t division_id = 0;

  // ---- What pricing needs ----
  // The database snapshot of the current lookup (never null during ASSIGNHARGA).
  const std::shared_ptr<const DatabaseSnapshot>& database() const { return db_; }
  // The lookup's date and time, taken once at the start of SEEKKODE.
  const LookupTime& lookup_time() const { return now_; }
  GLOBALVARIABLE& globals() { return globals_; }
  EventSink& sink() { return sink_; }
  // The session's work areas; nullptr while not open.
  WorkArea* stock() { return stock_.get(); }
  WorkArea* stkpro() { return stkpro_.get(); }
  WorkArea* kursma() { return kursma_.get(); }
  WorkArea* stkhjl() { return stkhjl_.get(); }
  WorkArea* pelang() { return pelang_.get(); }
  WorkArea* pelstk() { return pelstk_.get(); }

 private:
  // Runs the seeks of one padded key; true when an order found it.
  Result<bool> SeekKey(const std::string& key);

  GLOBALVARIABLE& globals_;
  EventSink& sink_;
  const Clock& clock_;

  std::shared_ptr<const DatabaseSnapshot> db_;
  LookupTime now_;

  std::unique_ptr<WorkArea> stock_, pelang_, pelstk_, stkhjl_, stkpro_, kursma_;
};

}  // namespace kt::data
