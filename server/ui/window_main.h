// The window mode of kt-vistrand-server: start-up in its fixed order, then the main window.
//
//   1. number settings and the number-format check (error box, end);
//   2. the settings object, the random self-test text;
//   3. the single-instance lock "KTVistrd.fil" (a second instance ends silently; an instance
//      started by the crash handler waits a little for its predecessor to let go);
//   4. the settings table (created with defaults when missing; a failure ends the program);
//   5. the crash handler (restart in the same folder and mode);
//   6. WINSTARTING created hidden, PostInit, the event loop; on exit the listener stops.
#pragma once

#include <functional>

#include "server/net/scan_handler.h"

namespace kt::data {
class EventSink;
class GLOBALVARIABLE;
}  // namespace kt::data

namespace kt::ui {

// Makes the per-terminal handlers (lookup object and reply templates) over the settings object;
// lookup errors and table failures report to the sink.
using HandlerFactoryMaker = std::function<net::ScanHandlerFactory(data::GLOBALVARIABLE&, data::EventSink&)>;

// argv: the program's arguments ([--workdir DIR]; other options are kept for a restart).
// Returns the process exit code: 0 also for a second instance that ended silently.
int RunWindowMode(int argc, char** argv, HandlerFactoryMaker make_handlers);

}  // namespace kt::ui
