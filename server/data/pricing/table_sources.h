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

#include "common/status.h"
#include "server/data/driver/work_area.h"
#include "server/data/pricing/currency.h"
#include "server/data/pricing/price_levels.h"
#include "server/data/pricing/promotion.h"

namespace kt::data::pricing {

// The five levels of the current record (fields MU_H_J_nn, HARGA_J_nn, HGEX1_J_nn, HGEX2_J_nn,
// JML_J_nn, SAT_J_nn, DISC1_J_nn .. DISC3_J_nn, nn = 01..05).
Result<PriceLevels> ReadPriceLevels(const WorkArea& area);

// Finds promotions in a promotion-table work area: seeks the item identifier zero-padded to the
// width of STOCK_ID (soft seek) in the order of the kind, then takes the first record of the item
// that is valid at the moment. The found record stays current in the work area.
class TablePromotionSource final : public PromotionSource {
 public:
  // `area` and `holidays` must outlive the source.
  TablePromotionSource(WorkArea& area, const HolidayList& holidays) : area_(area), holidays_(holidays) {}

  Result<std::optional<Promotion>> FindValid(PromotionKind kind, int64_t item_id,
                                             const LookupTime& when) override;

 private:
  WorkArea& area_;
  const HolidayList& holidays_;
};

// Finds rates in a rate-table work area: the latest record of the currency whose date and, on the
// same date, whose time ("HH:MM") are not after the moment. Among records with the same date and
// time the last in index order wins.
class TableRateSource final : public RateSource {
 public:
  explicit TableRateSource(WorkArea& area) : area_(area) {}  // `area` must outlive the source

  Result<std::optional<RateRecord>> LatestRate(uint16_t currency, const LookupTime& when) override;

 private:
  WorkArea& area_;
};

}  // namespace kt::data::pricing
