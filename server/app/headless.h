// The server without a window (kt-vistrand-server --headless, options in server_options.h).
// --max-sessions N: live sessions beyond which a terminal is refused (default 1000).
// --port and --data override the stored settings for this run only (--port 0: a free port,
// shown on the start line); --bind limits the listener to one local address; --no-restart
// keeps the crash handler from starting a new instance (tests, demos, the systemd service).
// Lines go to standard output with a timestamp; when standard output is the systemd journal
// (JOURNAL_STREAM) the journal stamps them and each line carries its priority instead.
// SIGINT or SIGTERM stops the server cleanly; on Windows Ctrl-C, Ctrl-Break, closing the console
// and the service manager's stop do (common/platform/stop/stop_request.h).
#pragma once

#include "server/app/server_options.h"

namespace kt::app {

// `argc`/`argv` are the whole command line, kept for the crash handler's restart. Returns the
// exit code: 0 after a clean stop or when another instance already serves the working folder,
// 1 when start-up failed.
int RunHeadless(const ServerOptions& options, int argc, char** argv);

}  // namespace kt::app
