#include "server/reply/scan_reply.h"

#include "server/data/pricing/lookup_pricing.h"
#include "server/reply/expand.h"

namespace kt::reply {

std::string ScanReply(const data::ITEMPENJUAECERAN& lookup, std::string_view com_ok, std::string_view com_fail) {
  const data::RECITEM& rec = lookup.ORECITEM;
  const ItemTexts item{rec.CNAMAALL, rec.CNAMA, rec.CNAMAEX1, rec.CNAMAEX2};
  ExpandInputs in;
  in.item = &item;
  in.price_text = [&lookup] { return data::pricing::LookupPriceText(lookup); };
  if (lookup.SEEKFOUND()) return ExpandTemplate(com_ok, in);
  in.error_text = lookup.CERRORMESS;
  return ExpandTemplate(com_fail, in);
}

}  // namespace kt::reply
