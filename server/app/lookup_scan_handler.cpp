#include "server/app/lookup_scan_handler.h"

#include <optional>

#include "server/data/price_text.h"
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

std::string LookupScanHandler::PriceText() const {
  const auto& line = lookup_.OITEMPENJUAECERAN;
  // Decimals of the retail currency (currency 1 when none is set); none known: no decimals.
  std::optional<int> decimals;
  if (const auto& db = lookup_.database()) {
    const int64_t id = db->kontro.WPENJECERANMU != 0 ? db->kontro.WPENJECERANMU : 1;
    if (const data::Currency* c = db->FindCurrency(id)) decimals = c->decimals;
  }
  return data::FormatPriceText(line.TOTAL(), decimals, line.FJUMLAH, lookup_.ORECITEM.SATUANECERANTEXT());
}

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
