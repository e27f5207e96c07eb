// The reply to one scanned code: COM_OK filled with the priced line's item names and price text,
// or COM_FAIL with the lookup's error text. The one place a scan's reply is built, for the
// terminal sessions and the tools that show what a session would answer.
#pragma once

#include <string>
#include <string_view>

#include "server/data/item_line.h"
#include "server/data/item_lookup.h"

namespace kt::data::pricing {
struct PricingLists;
}

namespace kt::reply {

// `line` holds an item when the lookup succeeded; otherwise `error_text` is the reason. The price
// text is built (with `lists`' retail currency; none: no decimals) only when COM_OK asks for it.
std::string ScanReply(const data::ITEMPENJUAECERAN_LINE& line, std::string_view error_text,
                      const data::pricing::PricingLists* lists, std::string_view com_ok, std::string_view com_fail);

// The same for the last scan of `lookup` (SEEKKODE has just run).
std::string ScanReply(const data::ITEMPENJUAECERAN& lookup, std::string_view com_ok, std::string_view com_fail);

}  // namespace kt::reply
