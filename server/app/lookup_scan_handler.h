// The real per-terminal handler: the session's own lookup object (ITEMPENJUAECERAN, with work
// areas named after the connection number) and the reply templates of the settings object.
//
// Greeting: COM_CONN expanded without item, lookup object or error text. Answer: SEEKKODE, then
// COM_OK with the item's names and price text when SEEKFOUND, otherwise COM_FAIL with the
// (emptied) item names and CERRORMESS. The handler keeps its copy of the templates and takes them
// from the settings object again whenever their version has moved, so a saved change applies to
// the next reply.
//
// Thread safety: one handler per session thread; `globals` and `sink` are shared and must be
// safe for concurrent use (GLOBALVARIABLE and every EventSink are).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "common/event_sink.h"
#include "server/data/global_variable.h"
#include "server/data/item_lookup.h"
#include "server/net/scan_handler.h"

namespace kt::app {

class LookupScanHandler : public net::ScanHandler {
 public:
  // `globals` and `sink` must outlive the handler.
  LookupScanHandler(data::GLOBALVARIABLE& globals, EventSink& sink, int connection_number);

  std::string Greeting() override;
  bool OpenTables() override;
  void CloseTables() override;
  std::string Answer(const std::string& code) override;

 private:
  data::GLOBALVARIABLE& globals_;
  data::ITEMPENJUAECERAN lookup_;
  std::string com_ok_, com_fail_;
  uint64_t templates_version_ = 0;
  bool templates_read_ = false;
};

// The factory the listener calls for each accepted terminal.
net::ScanHandlerFactory MakeLookupHandlerFactory(data::GLOBALVARIABLE& globals, EventSink& sink);

}  // namespace kt::app
