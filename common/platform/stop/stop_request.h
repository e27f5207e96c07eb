// How a program that runs until told otherwise learns that it must stop.
//
// Linux (stop_request_linux.cpp): SIGINT and SIGTERM, blocked in every thread and taken by the
// waiter; a reader of standard output going away (SIGPIPE) is ignored.
// Windows (stop_request_windows.cpp): Ctrl-C, Ctrl-Break, closing the console window, logoff and
// shutdown (SetConsoleCtrlHandler). For the last three Windows ends the process once the handler
// returns, so the handler waits (a few seconds at most) until the program says it has stopped.
// Either way a service control handler may ask for the stop with RequestStop().
//
// Thread safety: Install once on the main thread before other threads start; WaitFor on one
// thread; RequestStop and Stopped from any thread.
#pragma once

#include <chrono>

namespace kt::platform {

class StopRequest {
 public:
  static void Install();
  // True as soon as a stop was asked for; false when `wait` passed without one.
  static bool WaitFor(std::chrono::milliseconds wait);
  static void RequestStop();
  // The program has stopped cleanly (a console being closed may now end the process).
  static void Stopped();
};

}  // namespace kt::platform
