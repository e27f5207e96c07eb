// The window mode of kt-vistrand-server: start-up in its fixed order, then the main window.
//
//   1. number settings and the number-format check (error box, end);
//   2. the single-instance lock "KTVistrd.fil" (a second instance ends silently; an instance
//      started by the crash handler waits a little for its predecessor to let go);
//   3. the crash handler (restart in the same folder and mode);
//   4. the start-up core: random self-test text, settings table (created with defaults when
//      missing; a failure ends the program), database open (failures are error boxes), listener
//      and first probe;
//   5. WINSTARTING created hidden, PostInit, the event loop; on exit the listener stops.
//
// Command line: [--workdir DIR] [--port N] [--data LOCATION] [--no-restart]; port and location
// override the stored settings for this run only, as in the headless mode.
#pragma once

#include <functional>

#include "server/net/scan_handler.h"

namespace kt::data {
class EventSink;
class GLOBALVARIABLE;
}  // namespace kt::data

namespace kt::ui {

// Returns the process exit code: 0 also for a second instance that ended silently, 2 for a bad
// command line.
int RunWindowMode(int argc, char** argv);

// Older entry kept for callers that pass a handler factory: the start-up core makes the
// per-terminal handlers itself, so the factory is not used.
using HandlerFactoryMaker = std::function<net::ScanHandlerFactory(data::GLOBALVARIABLE&, data::EventSink&)>;
inline int RunWindowMode(int argc, char** argv, const HandlerFactoryMaker&) { return RunWindowMode(argc, argv); }

}  // namespace kt::ui
