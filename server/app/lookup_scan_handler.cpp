#include "server/app/lookup_scan_handler.h"

#include <optional>

#include "server/data/pricing/lookup_pricing.h"
#include "server/reply/expand.h"

namespace kt::app {

LookupScanHandler::LookupScanHandler(data::GLOBALVARIABLE& globals, data::EventSink& sink,
                                     int connection_number)
    : globals_(globals), lookup_(globals, sink) {
  lookup_.SetConnectionNumber(static_cast<uint32_t>(connection_number));
}

std::string LookupScanHandler::Greeting() {
  return reply::ExpandTemplate(globals_.CCONFIGCOMCONN(), {});
}

bool LookupScanHandler::OpenTables() { return lookup_.DBSUBOPEN(); }

void LookupScanHandler::CloseTables() { lookup_.DBSUBCLOSE(); }

std::string LookupScanHandler::PriceText() const { return data::pricing::LookupPriceText(lookup_); }

std::string LookupScanHandler::Answer(const std::string& code) {
  lookup_.SEEKKODE(code);
  const data::RECITEM& rec = lookup_.ORECITEM;
  const reply::ItemTexts item{rec.CNAMAALL, rec.CNAMA, rec.CNAMAEX1, rec.CNAMAEX2};
  reply::ExpandInputs in;
  in.item = &item;
  in.price_text = [this] { return PriceText(); };
  if (lookup_.SEEKFOUND()) return reply::ExpandTemplate(globals_.CCONFIGCOMOK(), in);
  in.error_text = lookup_.CERRORMESS;
  return reply::ExpandTemplate(globals_.CCONFIGCOMFAIL(), in);
}

net::ScanHandlerFactory MakeLookupHandlerFactory(data::GLOBALVARIABLE& globals, data::EventSink& sink) {
  return [&globals, &sink](int n) { return std::make_unique<LookupScanHandler>(globals, sink, n); };
}

}  // namespace kt::app
