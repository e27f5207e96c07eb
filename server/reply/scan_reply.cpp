#include "server/reply/scan_reply.h"

#include "server/data/pricing/lookup_pricing.h"
#include "server/reply/expand.h"

namespace kt::reply {

std::string ScanReply(const data::ITEMPENJUAECERAN_LINE& line, std::string_view error_text,
                      const data::pricing::PricingLists* lists, std::string_view com_ok, std::string_view com_fail) {
  ExpandInputs in;
  in.price_text = [&line, lists] {
    return lists != nullptr ? data::pricing::LookupPriceText(line, *lists) : data::pricing::LookupPriceText(line);
  };
  if (line.ORECITEM) {
    const data::RECITEM& rec = *line.ORECITEM;
    const ItemTexts item{rec.CNAMAALL, rec.CNAMA, rec.CNAMAEX1, rec.CNAMAEX2};
    in.item = &item;
    return ExpandTemplate(com_ok, in);
  }
  // A failed lookup has no item: its name placeholders (and the price of the empty line) are
  // empty values, not left as written.
  const ItemTexts no_item{};
  in.item = &no_item;
  in.error_text = error_text;
  return ExpandTemplate(com_fail, in);
}

std::string ScanReply(const data::ITEMPENJUAECERAN& lookup, std::string_view com_ok, std::string_view com_fail) {
  const auto& db = lookup.database();
  return ScanReply(lookup.OITEMPENJUAECERAN, lookup.CERRORMESS,
                   db != nullptr ? &data::pricing::PricingListsFor(db) : nullptr, com_ok, com_fail);
}

}  // namespace kt::reply
