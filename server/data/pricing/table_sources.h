// Pricing's readers of the session's tables: price levels of a record, the valid promotion of an
// item (promotion table, orders STOCK_TGL1..3) and the rate of a currency (rate table, order
// MU_TGL_PK).
//
// A field a table lacks reads as empty (0, blank date, empty text), and a missing order as "no
// record", so incomplete data leaves a price at its levels instead of stopping the lookup. Errors
// are returned only for I/O and corruption. Deleted records are never used.
//
// Thread safety: a source borrows one work area and belongs to the thread that owns that area.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/status.h"
#include "server/data/driver/work_area.h"
#include "server/data/pricing/currency.h"
#include "server/data/pricing/price_levels.h"
#include "server/data/pricing/promotion.h"
#include "server/data/pricing/promotion_items.h"

namespace kt::data::pricing {

// The five levels of the current record (fields MU_H_J_nn, HARGA_J_nn, HGEX1_J_nn, HGEX2_J_nn,
// JML_J_nn, SAT_J_nn, DISC1_J_nn .. DISC3_J_nn, nn = 01..05).
Result<PriceLevels> ReadPriceLevels(const WorkArea& area);

// Finds promotions in a promotion-table work area: seeks the item identifier zero-padded to the
// width of STOCK_ID (soft seek) in the order of the kind, then takes the first record of the item
// that is valid at the moment. The found record stays current in the work area.
class TablePromotionSource final : public PromotionSource {
 public:
  // `area`, `holidays` and `items` must outlive the source. With `items`, an item that has no
  // record in the table is answered without a search.
  TablePromotionSource(WorkArea& area, const HolidayList& holidays, PromotionItems* items = nullptr)
      : area_(area), holidays_(holidays), items_(items) {}

  Result<std::optional<Promotion>> FindValid(PromotionKind kind, int64_t item_id,
                                             const LookupTime& when) override;

 private:
  WorkArea& area_;
  const HolidayList& holidays_;
  PromotionItems* const items_;
};

// Which record answered a rate question (currency, date, minute) under one generation of the
// rate table's index, kept by a session from scan to scan (see TableRateSource).
class RateMemo {
 public:
  struct Answer {
    uint16_t currency = 0;
    Date date;
    int minute = 0;
    uint64_t generation = 0;  // of the index the search ran on
    uint32_t recno = 0;       // the record that answered
    double stored_currency = 0;  // its key as read then
    Date stored_date;
    std::string stored_time;
  };
  const Answer* Find(uint16_t currency, const LookupTime& when, uint64_t generation) const;
  void Remember(Answer answer);

 private:
  std::vector<Answer> answers_;  // one per currency
};

// Finds rates in a rate-table work area: the latest record of the currency whose date and, on the
// same date, whose time ("HH:MM") are not after the moment. Among records with the same date and
// time the last in index order wins.
//
// With a memo, a question asked again in the same minute while the index has not changed reads
// only the record that answered it before, so its rates are as stored now; a record that was
// deleted or changed since sends the question back to the search. (Which record answers depends
// on the index and on deletion flags; a record taken back from deletion is seen from the next
// minute on.)
class TableRateSource final : public RateSource {
 public:
  // `area` and `memo` must outlive the source.
  explicit TableRateSource(WorkArea& area, RateMemo* memo = nullptr) : area_(area), memo_(memo) {}

  Result<std::optional<RateRecord>> LatestRate(uint16_t currency, const LookupTime& when) override;

 private:
  // The search itself; `answered_by` gets the record number of the answer.
  Result<std::optional<RateRecord>> Search(uint16_t currency, const LookupTime& when, uint32_t& answered_by);

  WorkArea& area_;
  RateMemo* const memo_;
};

}  // namespace kt::data::pricing
