// Pricing of a looked-up item: the item record, its unit data, the quantity and the lookup time
// go in as values, promotions and rates through read-only sources, and a priced line item comes
// out. The reply's price text is built from that line.
//
// These two files are compiled into the data library (kt_data), which owns the records; the
// engine itself (kt_pricing) knows nothing of them.
//
// Thread safety: PriceItem and the texts are pure over their inputs. PricingListsFor keeps one
// cache per thread.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "common/status.h"
#include "server/data/item_line.h"
#include "server/data/pricing/engine.h"

namespace kt::data {
struct DatabaseSnapshot;
struct DBKONTRO;
class RECITEM;
class UnitSets;
}  // namespace kt::data

namespace kt::data::pricing {

// The control-record values pricing reads.
PricingControl ControlFromKontro(const DBKONTRO& kontro);

// What pricing derives from one database snapshot: the control switches, the currency book with
// its rounding rules, the holidays and the retail currency of the price text.
struct PricingLists {
  PricingControl control;
  CurrencyBook book;
  HolidayList holidays;
  std::optional<Currency> retail;  // none when the currency list lacks it
};

// The lists of `db`, built once per snapshot and thread (a new snapshot builds them anew).
const PricingLists& PricingListsFor(const std::shared_ptr<const DatabaseSnapshot>& db);

// Everything one priced line is made of.
struct PriceInputs {
  const RECITEM* item = nullptr;      // REQUIRES: not null, a found item
  const UnitSets* units = nullptr;    // REQUIRES: not null
  bool per_item_factors = false;      // LSTOCKKONVSATUAN: SAT_K_nn instead of the set's factors
  double quantity = 0;                // FJUMLAH
  uint16_t unit = 0;                  // WSATUANID
  const PricingLists* lists = nullptr;  // REQUIRES: not null
  PromotionSource* promotions = nullptr;  // null: no promotion table
  RateSource* rates = nullptr;            // null: no rate table
  LookupTime when;
  int WCONFIGHARGAJUAL = 0;           // 0 automatic level; 1..5 fixed level
  uint32_t DWRECNO = 0;
};

// ASSIGNHARGA over values: CHECKHARGA, then HITUNGPAJAK. The line refers to `*in.item`. Fails when
// a table cannot be read or the item's unit data are inconsistent (the operator text).
Result<ITEMPENJUAECERAN_LINE> PriceItem(const PriceInputs& in);

// The {hargajual} text of a priced line: total, quantity and retail unit ("12.500 / 1 PCS").
std::string LookupPriceText(const ITEMPENJUAECERAN_LINE& line, const PricingLists& lists);
std::string LookupPriceText(const ITEMPENJUAECERAN_LINE& line, const DatabaseSnapshot& db);
// Without a database the picture has no decimals.
std::string LookupPriceText(const ITEMPENJUAECERAN_LINE& line);

}  // namespace kt::data::pricing
