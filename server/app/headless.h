// The server without a window:
//   kt-vistrand-server --headless [--workdir DIR] [--port N] [--data LOCATION] [--bind IP]
//                      [--max-sessions N] [--no-restart]
// --max-sessions N: live sessions beyond which a terminal is refused (default 1000).
// --port and --data override the stored settings for this run only (--port 0: a free port,
// shown on the start line); --bind limits the listener to one local address; --no-restart
// keeps the crash handler from starting a new instance (tests, demos).
// Lines go to standard output with a timestamp; SIGINT or SIGTERM stops the server cleanly.
#pragma once

namespace kt::app {

// argv[0] is the program; returns the exit code (0 after a clean stop or when another instance
// already serves the working folder, 1 when start-up failed, 2 for a bad command line).
int RunHeadless(int argc, char** argv);

}  // namespace kt::app
