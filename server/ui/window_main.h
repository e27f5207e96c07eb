// The window mode of kt-vistrand-server: start-up in its fixed order, then the main window.
//
//   1. number settings and the number-format check (error box, end);
//   2. the single-instance lock "KTVistrd.fil" (a second instance ends silently; an instance
//      started by the crash handler waits a little for its predecessor to let go);
//   3. the crash handler (restart in the same folder and mode);
//   4. the start-up core: random self-test text, settings table (created with defaults when
//      missing; a failure ends the program), database open (failures are error boxes, shown
//      once the event loop runs), listener and first probe;
//   5. WINSTARTING created hidden, PostInit, the event loop; the window's timers drive the
//      core's self-test check and database retry; on exit the listener stops.
//
// Options: server/app/server_options.h (read by main() before Qt starts); port, location and
// bind address override the stored settings for this run only, as in the headless mode.
#pragma once

#include <functional>

#include "server/app/server_options.h"
#include "server/net/scan_handler.h"

namespace kt::ui {

// `argc`/`argv` are the whole command line (Qt's own options are taken from it; the crash
// handler restarts with it). Returns the process exit code: 0 also for a second instance that
// ended silently.
int RunWindowMode(const app::ServerOptions& options, int argc, char** argv);

}  // namespace kt::ui
