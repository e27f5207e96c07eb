// Windows side of the crash handler (crash_handler.h says what it does and how).
#include <windows.h>
// DbgHelp after windows.h.
#include <dbghelp.h>

#include <cxxabi.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <string_view>
#include <typeinfo>

#include "common/platform/windows_command_line.h"
#include "common/version.h"
#include "server/errlog/crash_handler.h"
#include "server/errlog/os_version.h"
#include "server/errlog/restart_guard.h"
#include "server/errlog/uncaught_exception.h"

namespace kt::errlog {
namespace {

constexpr const char kReportApplication[] = "KT-Vistrand TCP Server, Build: 3, Version: " KT_VERSION_STRING;
static_assert(std::string_view(kReportApplication).starts_with(kApplicationName));

// Exceptions the GCC runtime raises to unwind C++ exceptions ('GCC' in the low bytes). One that
// reaches the top unhandled is continued, so the runtime calls std::terminate with the throw
// site still on the stack (as the mingw start-up code's own filter does).
constexpr DWORD kGccExceptionMask = 0x20FFFFFF;
constexpr DWORD kGccException = 0x20474343;

// Exit codes: a structured exception ends the process with its code, as Windows itself would;
// std::terminate with 3, as abort() does; a report asked for, or a hang, with 70.
constexpr int kTerminateExitCode = 3;
constexpr int kHangExitCode = 70;

struct HandlerState {
  std::string log_path;
  std::string os_line;
  std::wstring program;
  std::wstring command_line;
  std::wstring folder;
  std::wstring env_quick;  // environment blocks for a successor after a quick / calm failure
  std::wstring env_calm;
  RestartDecision on_quick;
  RestartDecision on_calm;
  std::chrono::steady_clock::time_point started;
  bool restart = true;
  unsigned watchdog_seconds = 15;
  HANDLE request = nullptr;  // set by the failing thread: the request below is ready
};

// What the failing thread hands the reporting thread.
struct alignas(16) Request {
  CONTEXT context;
  HANDLE thread = nullptr;
  ErrorRecord record;
  int exit_code = 0;
  bool captured_here = true;  // false: the context is the failing instruction's
};

HandlerState* g_state = nullptr;
std::atomic<void (*)()> g_capture_hook{nullptr};
std::atomic<std::intptr_t> g_lock_handle{-1};
std::atomic<bool> g_reporting{false};
std::atomic<bool> g_successor_started{false};
std::mutex g_dbghelp_mutex;  // DbgHelp is single-threaded

Request g_request;
CallStack g_stack;
ReportBuffer g_report;

// ---- Stack walking with DbgHelp ----

struct RawFrame {
  char file[160];
  char function[256];
  int line;
  bool symbolised;
};

struct RawStack {
  RawFrame frames[kMaxStackFrames];
  std::size_t size = 0;
};

RawStack g_raw_stack;

void CopyText(char* dst, std::size_t capacity, const char* src) {
  std::size_t n = 0;
  if (src != nullptr) {
    for (; src[n] != '\0' && n + 1 < capacity; ++n) dst[n] = src[n];
  }
  dst[n] = '\0';
}

const char* BaseName(const char* path) {
  const char* base = path;
  for (const char* p = path; *p != '\0'; ++p) {
    if (*p == '\\' || *p == '/') base = p + 1;
  }
  return base;
}

void InitSymbols() {
  static bool done = false;
  if (done) return;
  done = true;
  SymSetOptions(SymGetOptions() | SYMOPT_UNDNAME | SYMOPT_DEFERRED_LOADS | SYMOPT_LOAD_LINES |
                SYMOPT_FAIL_CRITICAL_ERRORS);
  SymInitialize(GetCurrentProcess(), nullptr, TRUE);
}

// Names the code at `pc`: function, file and line from the debug information when DbgHelp can
// read it; otherwise the module's file name and the offset into it.
void Describe(DWORD64 pc, bool return_address, RawFrame& f) {
  f = RawFrame{};
  HANDLE process = GetCurrentProcess();
  // A return address points after the call; the call itself is one byte earlier.
  const DWORD64 at = return_address && pc > 0 ? pc - 1 : pc;
  alignas(SYMBOL_INFO) char buffer[sizeof(SYMBOL_INFO) + 256];
  auto* symbol = reinterpret_cast<SYMBOL_INFO*>(buffer);
  std::memset(buffer, 0, sizeof buffer);
  symbol->SizeOfStruct = sizeof(SYMBOL_INFO);
  symbol->MaxNameLen = 255;
  DWORD64 displacement = 0;
  if (SymFromAddr(process, at, &displacement, symbol)) {
    CopyText(f.function, sizeof f.function, symbol->Name);
    f.symbolised = true;
  }
  IMAGEHLP_LINE64 line{};
  line.SizeOfStruct = sizeof line;
  DWORD line_displacement = 0;
  if (SymGetLineFromAddr64(process, at, &line_displacement, &line)) {
    CopyText(f.file, sizeof f.file, line.FileName);
    f.line = static_cast<int>(line.LineNumber);
    f.symbolised = true;
  }
  if (f.symbolised) return;
  const DWORD64 base = SymGetModuleBase64(process, pc);
  char module[MAX_PATH] = "?";
  if (base != 0) GetModuleFileNameA(reinterpret_cast<HMODULE>(base), module, sizeof module);
  CopyText(f.file, sizeof f.file, BaseName(module));
  char offset[32] = "+0x";
  DWORD64 v = base != 0 ? pc - base : pc;
  char hex[20];
  int n = 0;
  do {
    hex[n++] = "0123456789abcdef"[v & 0xF];
    v >>= 4;
  } while (v != 0);
  for (int i = 0; i < n; ++i) offset[3 + i] = hex[n - 1 - i];
  offset[3 + n] = '\0';
  CopyText(f.function, sizeof f.function, offset);
}

void Walk(const CONTEXT& start, HANDLE thread, RawStack& raw) {
  raw.size = 0;
  std::scoped_lock lock(g_dbghelp_mutex);
  InitSymbols();
  CONTEXT context = start;  // StackWalk64 moves it frame by frame
  STACKFRAME64 frame{};
  frame.AddrPC.Offset = context.Rip;
  frame.AddrPC.Mode = AddrModeFlat;
  frame.AddrFrame.Offset = context.Rbp;
  frame.AddrFrame.Mode = AddrModeFlat;
  frame.AddrStack.Offset = context.Rsp;
  frame.AddrStack.Mode = AddrModeFlat;
  bool first = true;
  while (raw.size < kMaxStackFrames &&
         StackWalk64(IMAGE_FILE_MACHINE_AMD64, GetCurrentProcess(), thread, &frame, &context, nullptr,
                     SymFunctionTableAccess64, SymGetModuleBase64, nullptr)) {
    if (frame.AddrPC.Offset == 0) break;
    Describe(frame.AddrPC.Offset, !first, raw.frames[raw.size++]);
    first = false;
  }
}

// The demangled form of a C++ linkage name (to be freed), or null for other names.
char* Demangle(const char* name) {
  if (name[0] != '_' || name[1] != 'Z') return nullptr;
  int status = 0;
  char* out = abi::__cxa_demangle(name, nullptr, nullptr, &status);
  if (status != 0) {
    std::free(out);
    return nullptr;
  }
  return out;
}

// The leading frames of the handler and of the runtime's way here; the report starts below them.
// `captured_here`: the walk starts inside this handler, so unnamed frames before the first named
// one belong to the runtime (libstdc++ carries no debug information DbgHelp reads).
bool IsMachineryFrame(const RawFrame& f, bool captured_here) {
  if (!f.symbolised) return captured_here;
  if (std::strcmp(BaseName(f.file), "crash_handler_windows.cpp") == 0) return true;
  const std::string_view name = f.function;
  for (std::string_view part : {"OnUnhandledException", "OnTerminate", "OnAbortSignal", "ReportCurrentException",
                                "ReportFatalError", "CaptureStack", "HandOver", "RtlCaptureContext", "terminate",
                                "__cxa_", "_Unwind_", "__gxx_personality", "_GCC_specific_handler", "RaiseException",
                                "RtlRaiseException", "abort", "raise"}) {
    if (name.find(part) != std::string_view::npos) return true;
  }
  return false;
}

void FilterAndDemangle(const RawStack& raw, CallStack& out, bool captured_here) {
  out.size = 0;
  std::size_t first = 0;
  while (first < raw.size && IsMachineryFrame(raw.frames[first], captured_here)) ++first;
  if (first == raw.size) first = 0;
  for (std::size_t i = first; i < raw.size; ++i) {
    const RawFrame& f = raw.frames[i];
    char* demangled = Demangle(f.function);
    out.Add(f.file, demangled != nullptr ? demangled : f.function, f.line);
    std::free(demangled);
  }
}

// ---- Restart ----

void ReleaseLock() {
  const std::intptr_t h = g_lock_handle.exchange(-1);
  if (h != -1) CloseHandle(reinterpret_cast<HANDLE>(h));
}

[[noreturn]] void EndProcess(int code) {
  // TerminateProcess, not ExitProcess: no library clean-up that could wait for a lock the
  // failed thread holds.
  for (;;) TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code));
}

[[noreturn]] void RestartAndExit(int exit_code) {
  ReleaseLock();
  if (g_state != nullptr && g_state->restart && !g_successor_started.exchange(true)) {
    const bool quick = std::chrono::steady_clock::now() - g_state->started < kQuickFailure;
    const RestartDecision& d = quick ? g_state->on_quick : g_state->on_calm;
    if (d.restart) {
      std::wstring& env = quick ? g_state->env_quick : g_state->env_calm;
      STARTUPINFOW startup{};
      startup.cb = sizeof startup;
      PROCESS_INFORMATION info{};
      // No handles inherited: the listener's socket must not outlive this process in the child.
      if (CreateProcessW(g_state->program.c_str(), g_state->command_line.data(), nullptr, nullptr, FALSE,
                         CREATE_UNICODE_ENVIRONMENT, env.data(), g_state->folder.c_str(), &startup, &info)) {
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
      }
    } else {
      static constexpr char kText[] = "KT-Vistrand TCP Server: failed again soon after a restart; not restarting\n";
      DWORD written = 0;
      WriteFile(GetStdHandle(STD_ERROR_HANDLE), kText, sizeof kText - 1, &written, nullptr);
    }
  }
  EndProcess(exit_code);
}

void WriteReport(ErrorRecord record) {
  record.stack = &g_stack;
  if (record.func_symbol.empty() && g_stack.size > 0) record.func_symbol = g_stack.frames[0].function;
  if (g_state == nullptr) return;
  SYSTEMTIME now{};
  GetLocalTime(&now);
  char when[20];
  FormatReportTime(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, when);
  ReportHeader header{kReportApplication, kNoticeLine, g_state->os_line, when};
  FormatReport(header, record, g_report);
  if (!AppendReportToLog(g_state->log_path.c_str(), g_report.view())) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), g_report.view().data(), static_cast<DWORD>(g_report.view().size()),
              &written, nullptr);
  }
}

// The reporting thread: made at install time, it waits for a failure, walks the failed thread's
// stack on its own healthy stack, writes the report and restarts.
DWORD WINAPI ReporterThread(void*) {
  WaitForSingleObject(g_state->request, INFINITE);
  if (auto hook = g_capture_hook.load(); hook != nullptr) hook();
  Walk(g_request.context, g_request.thread, g_raw_stack);
  FilterAndDemangle(g_raw_stack, g_stack, g_request.captured_here);
  WriteReport(g_request.record);
  RestartAndExit(g_request.exit_code);
}

[[noreturn]] void WaitForEnd() {
  for (;;) Sleep(INFINITE);
}

bool EnterReport() {
  bool expected = false;
  return g_reporting.compare_exchange_strong(expected, true);
}

// Hands the failure (the context g_request.context already holds) to the reporting thread and
// waits; should the report hang, restarts from here once the watchdog time is up.
[[noreturn]] void HandOver(const ErrorRecord& record, int exit_code) {
  g_request.record = record;
  g_request.exit_code = exit_code;
  DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &g_request.thread, 0, FALSE,
                  DUPLICATE_SAME_ACCESS);
  if (g_state == nullptr) EndProcess(exit_code);
  SetEvent(g_state->request);
  Sleep(g_state->watchdog_seconds * 1000);
  RestartAndExit(kHangExitCode);
}

const char* ExceptionName(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION: return "EXCEPTION_ACCESS_VIOLATION";
    case EXCEPTION_STACK_OVERFLOW: return "EXCEPTION_STACK_OVERFLOW";
    case EXCEPTION_INT_DIVIDE_BY_ZERO: return "EXCEPTION_INT_DIVIDE_BY_ZERO";
    case EXCEPTION_INT_OVERFLOW: return "EXCEPTION_INT_OVERFLOW";
    case EXCEPTION_ILLEGAL_INSTRUCTION: return "EXCEPTION_ILLEGAL_INSTRUCTION";
    case EXCEPTION_PRIV_INSTRUCTION: return "EXCEPTION_PRIV_INSTRUCTION";
    case EXCEPTION_IN_PAGE_ERROR: return "EXCEPTION_IN_PAGE_ERROR";
    case EXCEPTION_DATATYPE_MISALIGNMENT: return "EXCEPTION_DATATYPE_MISALIGNMENT";
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED: return "EXCEPTION_ARRAY_BOUNDS_EXCEEDED";
    case EXCEPTION_FLT_DIVIDE_BY_ZERO: return "EXCEPTION_FLT_DIVIDE_BY_ZERO";
    case EXCEPTION_FLT_INVALID_OPERATION: return "EXCEPTION_FLT_INVALID_OPERATION";
    case EXCEPTION_BREAKPOINT: return "EXCEPTION_BREAKPOINT";
    default: return "structured exception";
  }
}

const char* ExceptionDescription(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION: return "Fatal error: invalid memory access (access violation)";
    case EXCEPTION_STACK_OVERFLOW: return "Fatal error: stack overflow";
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INVALID_OPERATION: return "Fatal error: arithmetic error";
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION: return "Fatal error: illegal instruction";
    default: return "Fatal error: structured exception";
  }
}

// "0x1f2e": a number in hexadecimal, into a static buffer (one report per process).
std::string_view Hex(uint64_t v, char (&out)[24]) {
  char digits[20];
  int n = 0;
  do {
    digits[n++] = "0123456789abcdef"[v & 0xF];
    v >>= 4;
  } while (v != 0);
  out[0] = '0';
  out[1] = 'x';
  for (int i = 0; i < n; ++i) out[2 + i] = digits[n - 1 - i];
  out[2 + n] = '\0';
  return out;
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* e = info->ExceptionRecord;
  if ((e->ExceptionCode & kGccExceptionMask) == kGccException && (e->ExceptionFlags & EXCEPTION_NONCONTINUABLE) == 0) {
    return EXCEPTION_CONTINUE_EXECUTION;  // the C++ runtime goes on to std::terminate
  }
  if (!EnterReport()) WaitForEnd();
  // Little stack may be left (a stack overflow): only copy here, the reporter does the work.
  g_request.context = *info->ContextRecord;
  g_request.captured_here = false;
  static char code[24], address[24], pc[24];
  static char operation[64];
  ErrorRecord r;
  r.description = ExceptionDescription(e->ExceptionCode);
  r.sub_code = Hex(e->ExceptionCode, code);
  r.sub_system = ExceptionName(e->ExceptionCode);
  r.generated_code = "Run-time error: structured exception";
  r.func_ptr = Hex(reinterpret_cast<uintptr_t>(e->ExceptionAddress), pc);
  if (e->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && e->NumberParameters >= 2) {
    const ULONG_PTR kind = e->ExceptionInformation[0];
    const char* verb = kind == 0 ? "memory read at " : kind == 8 ? "execution at " : "memory write at ";
    std::string_view where = Hex(e->ExceptionInformation[1], address);
    std::size_t n = 0;
    for (const char* p = verb; *p != '\0'; ++p) operation[n++] = *p;
    for (char c : where) operation[n++] = c;
    operation[n] = '\0';
    r.operation = operation;
    r.sub_code_text = kind == 0 ? "read" : kind == 8 ? "execute" : "write";
  }
  HandOver(r, static_cast<int>(e->ExceptionCode));
}

// The record of the exception being handled (or of a bare std::terminate); the context must
// already be in g_request.
[[noreturn]] void ReportException(std::exception_ptr error, std::string_view failed_object, int exit_code) {
  ErrorRecord r = UncaughtExceptionRecord(error, failed_object);
  HandOver(r, exit_code);
}

void OnTerminate() {
  if (!EnterReport()) WaitForEnd();
  // Uncaught exceptions reach here before the stack is unwound: the throw site is still on it.
  RtlCaptureContext(&g_request.context);
  ReportException(std::current_exception(), {}, kTerminateExitCode);
}

void OnAbortSignal(int) {
  if (!EnterReport()) WaitForEnd();
  RtlCaptureContext(&g_request.context);
  ErrorRecord r;
  r.description = "Fatal signal: abort";
  r.sub_system = "SIGABRT";
  r.generated_code = "Run-time error: fatal signal";
  HandOver(r, kTerminateExitCode);
}

std::wstring Widen(const std::string& s) {
  if (s.empty()) return {};
  const int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
  return out;
}

// This process's environment with the restart count set to `chain`, as a CreateProcess block.
std::wstring EnvironmentWithChain(int chain) {
  const std::wstring prefix = Widen(std::string(kRestartChainVariable) + "=");
  std::wstring block;
  if (wchar_t* env = GetEnvironmentStringsW(); env != nullptr) {
    for (const wchar_t* e = env; *e != L'\0'; e += std::wcslen(e) + 1) {
      if (_wcsnicmp(e, prefix.c_str(), prefix.size()) != 0) {
        block += e;
        block += L'\0';
      }
    }
    FreeEnvironmentStringsW(env);
  }
  block += prefix + std::to_wstring(chain);
  block += L'\0';
  block += L'\0';
  return block;
}

}  // namespace

bool AppendReportToLog(const char* path, std::string_view report) {
  HANDLE h = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  DWORD written = 0;
  if (GetFileSizeEx(h, &size) && size.QuadPart > 0) WriteFile(h, "\r\n\r\n\r\n", 6, &written, nullptr);
  WriteFile(h, report.data(), static_cast<DWORD>(report.size()), &written, nullptr);
  CloseHandle(h);
  return true;
}

void InstallCrashHandler(const CrashHandlerConfig& config) {
  auto* state = new HandlerState;  // lives for the process; the handler may run at any time
  std::error_code ignored;
  std::filesystem::path dir = std::filesystem::absolute(config.workdir, ignored);
  if (dir.empty()) dir = config.workdir;
  state->log_path = (dir / std::string(kLogFileName)).string();
  state->os_line = OsVersionLine();

  wchar_t program[32768];
  const DWORD n = GetModuleFileNameW(nullptr, program, 32768);
  state->program.assign(program, n);
  std::vector<std::string> args = config.argv;
  if (args.empty()) args.emplace_back("kt-vistrand-server");
  state->command_line = platform::QuoteCommandLineArgument(state->program);
  for (std::size_t i = 1; i < args.size(); ++i) {
    state->command_line += L" " + platform::QuoteCommandLineArgument(Widen(args[i]));
  }
  wchar_t folder[32768];
  const DWORD f = GetCurrentDirectoryW(32768, folder);
  state->folder.assign(folder, f);

  const int chain = RestartChainFromEnvironment().value_or(0);
  state->on_quick = DecideRestart(chain, std::chrono::seconds(0));
  state->on_calm = DecideRestart(chain, kQuickFailure);
  state->env_quick = EnvironmentWithChain(state->on_quick.next_chain);
  state->env_calm = EnvironmentWithChain(state->on_calm.next_chain);
  state->started = std::chrono::steady_clock::now();
  state->restart = config.restart;
  state->watchdog_seconds = config.watchdog_seconds;
  state->request = CreateEventW(nullptr, FALSE, FALSE, nullptr);

  if (g_state != nullptr) return;  // the reporting thread and the hooks exist already
  g_state = state;

  // Load the symbols now rather than in a crash, and show a failure to do so now.
  CaptureStack(g_stack);
  g_stack.size = 0;

  CloseHandle(CreateThread(nullptr, 256 * 1024, ReporterThread, nullptr, 0, nullptr));
  // No error dialogs: a server nobody watches must not wait for a click.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  ULONG guarantee = 16 * 1024;  // room for the filter on a thread that overflowed its stack
  SetThreadStackGuarantee(&guarantee);
  SetUnhandledExceptionFilter(OnUnhandledException);
  std::signal(SIGABRT, OnAbortSignal);
  std::set_terminate(OnTerminate);
}

void SetLockDescriptor(std::intptr_t handle) { g_lock_handle.store(handle); }

void ClearLockDescriptor(std::intptr_t handle) {
  std::intptr_t expected = handle;
  g_lock_handle.compare_exchange_strong(expected, -1);
}

void SetStackCaptureHookForTest(void (*hook)()) { g_capture_hook.store(hook); }

void ReportCurrentException(std::string_view failed_object) {
  if (!EnterReport()) WaitForEnd();
  RtlCaptureContext(&g_request.context);
  ReportException(std::current_exception(), failed_object, kHangExitCode);
}

void ReportFatalError(const ErrorRecord& record) {
  if (!EnterReport()) WaitForEnd();
  RtlCaptureContext(&g_request.context);
  HandOver(record, kHangExitCode);
}

void CaptureStack(CallStack& stack) {
  static RawStack raw;
  alignas(16) static CONTEXT context;
  RtlCaptureContext(&context);
  Walk(context, GetCurrentThread(), raw);
  FilterAndDemangle(raw, stack, true);
}

}  // namespace kt::errlog
