// Where the server reports what an operator should see: lines for the connection list and the
// scan list (the window's lists, the headless server's standard output) and error boxes (a box
// in the window, an error line headless). The listener, the sessions, the lookups, the database
// open and the start-up all report through this one interface.
//
// Thread safety: the listener and the sessions call one sink at once, so an implementation must
// be safe to call from any thread and should never block for long. A sink must outlive every
// object that reports to it.
#pragma once

#include <string_view>

namespace kt {

class EventSink {
 public:
  virtual ~EventSink() = default;

  // A line for the connection list (the window's ADDCONNECTEDINFO): connections, the self-test,
  // the database retry.
  virtual void ConnectedInfo(std::string_view /*text*/) {}
  // A line for the scan list (ADDSCANINFO): received data; lookup errors arrive as
  // "###ERR### : " + text.
  virtual void ScanInfo(std::string_view /*text*/) {}
  // An error box. Never ends the program: the caller decides what happens next.
  virtual void ErrorBox(std::string_view /*text*/) {}

 protected:
  // Only kinds of sink are made; a sink that drops everything is NullEventSink().
  EventSink() = default;
  EventSink(const EventSink&) = default;
  EventSink& operator=(const EventSink&) = default;
};

// Drops everything; for whoever reports where nobody listens.
EventSink& NullEventSink();

}  // namespace kt
