// Where the data layer reports what an operator should see: lines for the window's connection
// and scan lists, and error boxes. The GUI shows boxes; headless runs log them.
//
// Thread safety: the lookup objects of many sessions call one sink at once, so an implementation
// must be safe to call from any thread. A sink must outlive every object that reports to it.
#pragma once

#include <string_view>

namespace kt::data {

class EventSink {
 public:
  virtual ~EventSink() = default;

  // A line for the connection list (ADDCONNECTEDINFO).
  virtual void ConnectedInfo(std::string_view /*text*/) {}
  // A line for the scan list (ADDSCANINFO); lookup errors arrive here as "###ERR### : " + text.
  virtual void ScanInfo(std::string_view /*text*/) {}
  // An error box. Never ends the program: the caller decides what happens next.
  virtual void ErrorBox(std::string_view /*text*/) {}
};

// Drops everything; the default where nobody listens.
EventSink& NullEventSink();

}  // namespace kt::data
