#include "server/app/lookup_scan_handler.h"

#include <optional>

#include "server/reply/expand.h"
#include "server/reply/scan_reply.h"

namespace kt::app {

LookupScanHandler::LookupScanHandler(data::GLOBALVARIABLE& globals, EventSink& sink,
                                     int connection_number)
    : globals_(globals), lookup_(globals, sink) {
  lookup_.SetConnectionNumber(static_cast<uint32_t>(connection_number));
}

std::string LookupScanHandler::Greeting() {
  return reply::ExpandTemplate(globals_.CCONFIGCOMCONN(), {});
}

bool LookupScanHandler::OpenTables() { return lookup_.DBSUBOPEN(); }

void LookupScanHandler::CloseTables() { lookup_.DBSUBCLOSE(); }

std::string LookupScanHandler::Answer(const std::string& code) {
  lookup_.SEEKKODE(code);
  const uint64_t version = globals_.ConfigVersion();
  if (version != templates_version_ || !templates_read_) {
    const data::ConfigValues config = globals_.Config();
    com_ok_ = config.CCONFIGCOMOK;
    com_fail_ = config.CCONFIGCOMFAIL;
    templates_version_ = version;
    templates_read_ = true;
  }
  return reply::ScanReply(lookup_, com_ok_, com_fail_);
}

net::ScanHandlerFactory MakeLookupHandlerFactory(data::GLOBALVARIABLE& globals, EventSink& sink) {
  return [&globals, &sink](int n) { return std::make_unique<LookupScanHandler>(globals, sink, n); };
}

}  // namespace kt::app
