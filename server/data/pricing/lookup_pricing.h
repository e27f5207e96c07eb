// The bridge between the lookup object and the pricing engine: ASSIGNHARGA of ITEMPENJUAECERAN
// hands its line item, item record, control record, lists and session work areas to the engine,
// and the reply's price text is built from the priced line.
//
// These two files are compiled into the data library (kt_data), which owns the lookup object;
// the engine itself (kt_pricing) knows nothing of it.
//
// Thread safety: called from the session thread that owns the lookup object. The lists derived
// from a database snapshot are cached per thread.
#pragma once

#include <string>

#include "common/status.h"
#include "server/data/pricing/engine.h"

namespace kt::data {
class ITEMPENJUAECERAN;
struct ITEMPENJUAECERAN_LINE;
struct DatabaseSnapshot;
struct DBKONTRO;
}  // namespace kt::data

namespace kt::data::pricing {

// The control-record values pricing reads.
PricingControl ControlFromKontro(const DBKONTRO& kontro);

// ASSIGNHARGA: prices `lookup.OITEMPENJUAECERAN` (CHECKHARGA, then HITUNGPAJAK) for the lookup's
// date and time, with promotions and rates from the session's work areas. REQUIRES: the line
// holds an item record and the lookup has a database snapshot. Fails when a table cannot be read
// or the item's unit data are inconsistent; the line's amounts are then left as they were.
Status PriceLookupLine(ITEMPENJUAECERAN& lookup);

// The {hargajual} text of a priced line: total, quantity and retail unit ("12.500 / 1 PCS").
std::string LookupPriceText(const ITEMPENJUAECERAN_LINE& line, const DatabaseSnapshot& db);

// The same for the lookup's last line item; without a database snapshot the picture has no
// decimals. This is the one place the reply, the local test window and the tools take it from.
std::string LookupPriceText(const ITEMPENJUAECERAN& lookup);

}  // namespace kt::data::pricing
