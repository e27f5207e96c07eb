// The one error handler of the server: every run-time error of any thread ends here.
//
// Run-time errors are uncaught C++ exceptions (std::terminate, on any thread), fatal signals
// (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT) and errors that a caller hands over explicitly (the
// window's event dispatch catches exceptions and calls ReportCurrentException). For each the
// handler appends a report to "ZKERROR.LOG" in the working folder (report.h), releases the
// single-instance lock, starts the same program again with the same arguments in the same
// working folder (unless the restart guard says the failures come too fast, restart_guard.h) and
// ends the process at once: no destructors, no window dialog.
//
// The first thread that fails writes the report; a second one failing meanwhile waits for the
// process to end. The first thing the handler does is arm a watchdog that restarts and ends the
// process should anything after it hang: collecting and naming the stack takes locks (the
// allocator's, the loader's) that the failed thread or another one may hold.
//
// Linux (crash_handler.cpp): fatal signals, the stack from libbacktrace, the watchdog is SIGALRM,
// the successor comes from posix_spawn. Fatal signals run on an alternate signal stack, so a
// thread that overflowed its own stack still reaches the handler. The alternate stack is per
// thread: the handler installs one for the calling (main) thread, and every other long-lived
// thread makes its own (common/alt_signal_stack.h).
//
// Windows (crash_handler_windows.cpp): structured exceptions reach SetUnhandledExceptionFilter;
// a reporting thread made at install time walks the failed thread's stack with DbgHelp
// (StackWalk64; names and lines from the debug information where DbgHelp can read it, else
// module and offset) and writes the report, so even a thread without stack left gets one; the
// failed thread waits for it no longer than the watchdog allows. The successor comes from
// CreateProcess with the same program, command line and working folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "server/errlog/report.h"

namespace kt::errlog {

inline constexpr const char* kApplicationName = "KT-Vistrand TCP Server, Build: 3";
inline constexpr const char* kNoticeLine =
    "Please send ZKERROR.LOG to your KT-Vistrand support when the server restarts on its own.";

struct CrashHandlerConfig {
  std::filesystem::path workdir;      // where ZKERROR.LOG is appended (made absolute here)
  std::vector<std::string> argv;      // the program's arguments; argv[0] is replaced by the executable
  bool restart = true;                // false: report and end without a successor
  unsigned watchdog_seconds = 15;     // how long the report may take before the watchdog acts
};

// Installs the handlers for the whole process. Call once, on the main thread, before other
// threads start. Later calls replace the configuration.
void InstallCrashHandler(const CrashHandlerConfig& config);

// The lock file's descriptor (a HANDLE on Windows), closed by the handler before it starts the
// successor.
void SetLockDescriptor(std::intptr_t handle);
void ClearLockDescriptor(std::intptr_t handle);

// Reports the exception being handled (call inside a catch block) and ends the process.
// `failed_object`: the class of the object whose method failed ("Method Self"), when known.
[[noreturn]] void ReportCurrentException(std::string_view failed_object = {});

// Reports an error described by the caller (stack of the calling thread) and ends the process.
[[noreturn]] void ReportFatalError(const ErrorRecord& record);

// For the handler's own tests: a function called while the stack is collected, after the
// watchdog is armed (a probe uses it to stand for a lock that never comes free). Null: none.
void SetStackCaptureHookForTest(void (*hook)());

// Fills `stack` with the calling thread's stack, outermost frames last, leaving out the frames
// of this handler and of the runtime's terminate/abort machinery.
void CaptureStack(CallStack& stack);

// Appends one report to the log at `path`: creates the file when missing, writes three empty
// lines first when it already holds text. Async-signal-safe. False when the file cannot be opened.
bool AppendReportToLog(const char* path, std::string_view report);

}  // namespace kt::errlog
