#include "server/errlog/crash_handler.h"

#include <cxxabi.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <ucontext.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <string_view>
#include <typeinfo>

#include "common/alt_signal_stack.h"
#include "common/version.h"
#include "server/errlog/os_version.h"
#include "server/errlog/restart_guard.h"
#include "server/errlog/uncaught_exception.h"

#ifndef KT_NO_LIBBACKTRACE
#include <backtrace.h>
#else
#include <dlfcn.h>
#include <execinfo.h>
#endif

extern char** environ;

namespace kt::errlog {
namespace {

// The report's application line: the name and build, then the product version, so a report
// names the exact release it came from.
constexpr const char kReportApplication[] = "KT-Vistrand TCP Server, Build: 3, Version: " KT_VERSION_STRING;
static_assert(std::string_view(kReportApplication).starts_with(kApplicationName));

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr std::size_t kAltStackSize = AltSignalStack::kSize;

// Everything the handler needs is prepared at install time; the handler itself only reads it.
struct HandlerState {
  std::string log_path;
  std::string os_line;
  std::vector<std::string> args;
  std::vector<char*> argv;
  std::vector<std::string> env_quick;  // environment for a successor after a quick failure
  std::vector<std::string> env_calm;   // ... after a failure long after start
  std::vector<char*> envp_quick;
  std::vector<char*> envp_calm;
  RestartDecision on_quick;
  RestartDecision on_calm;
  std::chrono::steady_clock::time_point started;
  bool restart = true;
  unsigned watchdog_seconds = 15;
  posix_spawnattr_t spawn_attr;
};

HandlerState* g_state = nullptr;
std::atomic<void (*)()> g_capture_hook{nullptr};
std::atomic<std::intptr_t> g_lock_fd{-1};
std::atomic<bool> g_reporting{false};

// Scratch space of the reporting thread (only one thread gets past EnterReport).
CallStack g_stack;
ReportBuffer g_report;

// ---- Small async-signal-safe helpers ----

void WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
}

struct NumberText {
  char text[48];
  std::string_view view() const { return text; }
};

NumberText Decimal(uint64_t v) {
  NumberText out{};
  char digits[24];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  for (int i = 0; i < n; ++i) out.text[i] = digits[n - 1 - i];
  return out;
}

// "0x1f2e  7982" : the pointer's text form, two blanks, the pointer as a number.
NumberText PointerText(uintptr_t p) {
  NumberText out{};
  char hex[20];
  int n = 0;
  uintptr_t v = p;
  do {
    hex[n++] = "0123456789abcdef"[v & 0xF];
    v >>= 4;
  } while (v != 0);
  int pos = 0;
  out.text[pos++] = '0';
  out.text[pos++] = 'x';
  for (int i = 0; i < n; ++i) out.text[pos++] = hex[n - 1 - i];
  out.text[pos++] = ' ';
  out.text[pos++] = ' ';
  NumberText dec = Decimal(p);
  for (int i = 0; dec.text[i] != '\0'; ++i) out.text[pos++] = dec.text[i];
  return out;
}

const char* SignalName(int sig) {
  switch (sig) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGFPE: return "SIGFPE";
    case SIGILL: return "SIGILL";
    case SIGABRT: return "SIGABRT";
    default: return "signal";
  }
}

const char* SignalDescription(int sig) {
  switch (sig) {
    case SIGSEGV: return "Fatal signal: invalid memory access (segmentation fault)";
    case SIGBUS: return "Fatal signal: bus error";
    case SIGFPE: return "Fatal signal: arithmetic error";
    case SIGILL: return "Fatal signal: illegal instruction";
    case SIGABRT: return "Fatal signal: abort";
    default: return "Fatal signal";
  }
}

const char* SignalCodeText(int sig, int code) {
  if (code == SI_USER) return "SI_USER";
  if (code == SI_TKILL) return "SI_TKILL";
  switch (sig) {
    case SIGSEGV:
      if (code == SEGV_MAPERR) return "SEGV_MAPERR (address not mapped)";
      if (code == SEGV_ACCERR) return "SEGV_ACCERR (access not allowed)";
      break;
    case SIGBUS:
      if (code == BUS_ADRALN) return "BUS_ADRALN";
      if (code == BUS_ADRERR) return "BUS_ADRERR";
      break;
    case SIGFPE:
      if (code == FPE_INTDIV) return "FPE_INTDIV (integer divide by zero)";
      if (code == FPE_INTOVF) return "FPE_INTOVF (integer overflow)";
      break;
    default:
      break;
  }
  return "";
}

// A frame as the unwinder and the debug information give it, before filtering and demangling.
struct RawFrame {
  char file[160];
  char function[256];  // from the debug information: short ("Serve"), may be an inlined callee
  char symbol[256];    // from the symbol table: mangled, with namespaces and classes
  int line;
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

std::string_view BaseName(std::string_view path) {
  if (auto slash = path.find_last_of('/'); slash != std::string_view::npos) path.remove_prefix(slash + 1);
  return path;
}

// True for the leading frames that belong to the handler or to the runtime's way of getting
// here (signal trampoline, std::terminate, abort); the report starts below them.
bool IsMachineryFrame(const RawFrame& f) {
  const std::string_view file = BaseName(f.file);
  if (file == "crash_handler.cpp" || file == "libc_sigaction.c") return true;
  if (f.function[0] == '\0' && f.symbol[0] == '\0') return file.empty();
  for (std::string_view name : {std::string_view(f.function), std::string_view(f.symbol)}) {
    for (std::string_view part : {"OnFatalSignal", "OnTerminate", "ReportCurrentException", "ReportFatalError",
                                  "CaptureStack", "CaptureRaw", "terminate", "__cxa_", "__restore_rt", "raise", "abort",
                                  "pthread_kill", "_Unwind_", "backtrace_", "__gxx_personality",
                                  "__sanitizer", "__asan", "__ubsan"}) {
      if (name.find(part) != std::string_view::npos) return true;
    }
  }
  return false;
}

#ifndef KT_NO_LIBBACKTRACE
void IgnoreBacktraceError(void*, const char*, int) {}

// One libbacktrace state for the process, made on first use (InstallCrashHandler makes it early,
// so the handler never has to).
backtrace_state* Backtrace() {
  static backtrace_state* state = backtrace_create_state(nullptr, 1, IgnoreBacktraceError, nullptr);
  return state;
}

void OnSymbol(void* data, uintptr_t, const char* symname, uintptr_t, uintptr_t) {
  if (symname != nullptr) *static_cast<const char**>(data) = symname;
}

int OnFrame(void* data, uintptr_t pc, const char* file, int line, const char* function) {
  auto* stack = static_cast<RawStack*>(data);
  if (stack->size >= kMaxStackFrames) return 1;
  const char* symbol = nullptr;
  backtrace_syminfo(Backtrace(), pc, OnSymbol, IgnoreBacktraceError, &symbol);
  RawFrame& f = stack->frames[stack->size++];
  CopyText(f.file, sizeof f.file, file);
  CopyText(f.function, sizeof f.function, function);
  CopyText(f.symbol, sizeof f.symbol, symbol);
  f.line = line;
  return 0;
}
#endif

void CaptureRaw(RawStack& raw) {
  raw.size = 0;
  if (auto hook = g_capture_hook.load(); hook != nullptr) hook();
#ifndef KT_NO_LIBBACKTRACE
  if (backtrace_state* bt = Backtrace(); bt != nullptr) {
    backtrace_full(bt, 0, OnFrame, IgnoreBacktraceError, &raw);
  }
#else
  void* pcs[kMaxStackFrames];
  int n = ::backtrace(pcs, static_cast<int>(kMaxStackFrames));
  for (int i = 0; i < n; ++i) {
    Dl_info info{};
    RawFrame& f = raw.frames[raw.size++];
    f = RawFrame{};
    CopyText(f.symbol, sizeof f.symbol, ::dladdr(pcs[i], &info) != 0 ? info.dli_sname : nullptr);
  }
#endif
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

// Copies the frames below the handler machinery. The name is the symbol table's (demangled, with
// namespaces and classes) when it names the same function as the debug information, which is
// not the case for inlined frames; otherwise the debug information's.
void FilterAndDemangle(const RawStack& raw, CallStack& out) {
  out.size = 0;
  std::size_t first = 0;
  while (first < raw.size && IsMachineryFrame(raw.frames[first])) ++first;
  if (first == raw.size) first = 0;  // nothing but machinery: keep it all rather than nothing
  for (std::size_t i = first; i < raw.size; ++i) {
    const RawFrame& f = raw.frames[i];
    char* function = Demangle(f.function);  // the debug information may give a linkage name
    char* symbol = Demangle(f.symbol);
    const char* fn = function != nullptr ? function : f.function;
    const char* sym = symbol != nullptr ? symbol : f.symbol;
    const char* name = fn[0] != '\0' ? fn : sym;
    if (sym[0] != '\0' && (fn[0] == '\0' || std::strstr(sym, fn) != nullptr)) name = sym;
    out.Add(f.file, name, f.line);
    std::free(function);
    std::free(symbol);
  }
}

bool EnterReport() {
  bool expected = false;
  return g_reporting.compare_exchange_strong(expected, true);
}

[[noreturn]] void WaitForEnd() {
  for (;;) ::pause();
}

void ReleaseLock() {
  const std::intptr_t fd = g_lock_fd.exchange(-1);
  if (fd >= 0) ::close(static_cast<int>(fd));
}

// Ends the process now: the raw system call, because a sanitizer's _exit runs its leak check,
// which can wait for locks the failed thread holds.
[[noreturn]] void EndProcess(int code) {
  for (;;) ::syscall(SYS_exit_group, code);
}

std::atomic<bool> g_successor_started{false};

// Starts the successor (when allowed, and only once) and ends this process. Callable from the
// signal handler: glibc's posix_spawn clones onto a stack of its own and takes no locks.
[[noreturn]] void RestartAndExit(int exit_code) {
  ReleaseLock();
  if (g_state != nullptr && g_state->restart && !g_successor_started.exchange(true)) {
    const bool quick = std::chrono::steady_clock::now() - g_state->started < kQuickFailure;
    const RestartDecision& d = quick ? g_state->on_quick : g_state->on_calm;
    if (d.restart) {
      char* const* envp = quick ? g_state->envp_quick.data() : g_state->envp_calm.data();
      // posix_spawn runs the child on a stack of its own and no atfork handlers (they take
      // malloc locks a crashed thread may hold). The attributes, prepared at install time, give
      // the successor an empty signal mask: inside a signal handler the failing signal is
      // blocked, and a mask survives exec (a successor with SIGSEGV blocked would be killed by
      // its first fault without a report).
      pid_t ignored = 0;
      ::posix_spawn(&ignored, "/proc/self/exe", nullptr, &g_state->spawn_attr, g_state->argv.data(), envp);
    } else {
      WriteAll(STDERR_FILENO,
               "KT-Vistrand TCP Server: failed again soon after a restart; not restarting\n");
    }
  }
  EndProcess(exit_code);
}

void OnWatchdog(int) { RestartAndExit(70); }

// The reporting thread's first act: should anything after it hang (collecting or naming the
// stack, writing the log), the watchdog still restarts the program.
void ArmWatchdog() {
  struct sigaction sa {};
  sa.sa_handler = OnWatchdog;
  sa.sa_flags = SA_ONSTACK;
  sigemptyset(&sa.sa_mask);
  ::sigaction(SIGALRM, &sa, nullptr);
  // Whichever thread the alarm reaches runs the restart; none may have it blocked.
  sigset_t alarm;
  sigemptyset(&alarm);
  sigaddset(&alarm, SIGALRM);
  ::pthread_sigmask(SIG_UNBLOCK, &alarm, nullptr);
  ::alarm(g_state != nullptr ? g_state->watchdog_seconds : 15);
}

// Writes the report for `record` with the stack in g_stack, then restarts and exits.
[[noreturn]] void Finish(ErrorRecord record, int exit_code) {
  record.stack = &g_stack;
  if (g_state != nullptr) {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    ::localtime_r(&now.tv_sec, &local);
    char when[20];
    FormatReportTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                     local.tm_min, local.tm_sec, when);
    ReportHeader header{kReportApplication, kNoticeLine, g_state->os_line, when};
    FormatReport(header, record, g_report);
    if (!AppendReportToLog(g_state->log_path.c_str(), g_report.view())) {
      WriteAll(STDERR_FILENO, g_report.view());
    }
  }
  RestartAndExit(exit_code);
}

uintptr_t FaultingPc(void* context) {
#if defined(__x86_64__)
  if (context != nullptr) return static_cast<uintptr_t>(static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
  if (context != nullptr) return static_cast<uintptr_t>(static_cast<ucontext_t*>(context)->uc_mcontext.pc);
#endif
  (void)context;
  return 0;
}

void OnFatalSignal(int sig, siginfo_t* info, void* context) {
  if (!EnterReport()) WaitForEnd();
  ArmWatchdog();
  CaptureRaw(g_raw_stack);
  FilterAndDemangle(g_raw_stack, g_stack);

  NumberText sub_code = Decimal(static_cast<uint64_t>(sig));
  NumberText address{};
  static char operation[64];
  ErrorRecord r;
  r.description = SignalDescription(sig);
  r.sub_code = sub_code.view();
  r.sub_code_text = info != nullptr ? SignalCodeText(sig, info->si_code) : "";
  r.sub_system = SignalName(sig);
  r.generated_code = "Run-time error: fatal signal";
  // si_addr means something only for faults the kernel raised (si_code > 0), not for kill().
  if (info != nullptr && info->si_code > 0 && (sig == SIGSEGV || sig == SIGBUS)) {
    address = PointerText(reinterpret_cast<uintptr_t>(info->si_addr));
    std::string_view prefix = "memory access at ";
    std::size_t n = 0;
    for (char c : prefix) operation[n++] = c;
    for (int i = 0; address.text[i] != '\0' && address.text[i] != ' ' && n + 1 < sizeof operation; ++i) {
      operation[n++] = address.text[i];
    }
    operation[n] = '\0';
    r.operation = operation;
  }
  NumberText pc{};
  if (uintptr_t p = FaultingPc(context); p != 0) {
    pc = PointerText(p);
    r.func_ptr = pc.view();
  }
  if (g_stack.size > 0) r.func_symbol = g_stack.frames[0].function;
  Finish(r, 128 + sig);
}

// Builds the record of the exception being handled (or of a bare std::terminate) and finishes.
[[noreturn]] void ReportException(std::exception_ptr error, std::string_view failed_object) {
  ErrorRecord r = UncaughtExceptionRecord(error, failed_object);
  if (g_stack.size > 0) r.func_symbol = g_stack.frames[0].function;
  Finish(r, 134);
}

void OnTerminate() {
  if (!EnterReport()) WaitForEnd();
  ArmWatchdog();
  // Uncaught exceptions reach here before the stack is unwound: the throw site is still on it.
  CaptureRaw(g_raw_stack);
  FilterAndDemangle(g_raw_stack, g_stack);
  ReportException(std::current_exception(), {});
}

std::vector<std::string> EnvironmentWithChain(int chain) {
  std::vector<std::string> env;
  const std::string prefix = std::string(kRestartChainVariable) + "=";
  for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
    if (std::string_view(*e).substr(0, prefix.size()) != prefix) env.emplace_back(*e);
  }
  env.push_back(prefix + std::to_string(chain));
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> p;
  for (auto& s : strings) p.push_back(s.data());
  p.push_back(nullptr);
  return p;
}

void InstallAltStack() {
  static char* stack = nullptr;
  if (stack != nullptr) return;
  stack = new char[kAltStackSize];
  stack_t ss{};
  ss.ss_sp = stack;
  ss.ss_size = kAltStackSize;
  ::sigaltstack(&ss, nullptr);
}

}  // namespace

bool AppendReportToLog(const char* path, std::string_view report) {
  int fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && st.st_size > 0) WriteAll(fd, "\r\n\r\n\r\n");
  WriteAll(fd, report);
  ::close(fd);
  return true;
}

void InstallCrashHandler(const CrashHandlerConfig& config) {
  auto* state = new HandlerState;  // lives for the process; the handler may run at any time
  std::error_code ignored;
  std::filesystem::path dir = std::filesystem::absolute(config.workdir, ignored);
  if (dir.empty()) dir = config.workdir;
  state->log_path = (dir / std::string(kLogFileName)).string();
  state->os_line = OsVersionLine();
  state->args = config.argv;
  if (state->args.empty()) state->args.emplace_back("kt-vistrand-server");
  state->argv = Pointers(state->args);

  const int chain = RestartChainFromEnvironment().value_or(0);
  state->on_quick = DecideRestart(chain, std::chrono::seconds(0));
  state->on_calm = DecideRestart(chain, kQuickFailure);
  state->env_quick = EnvironmentWithChain(state->on_quick.next_chain);
  state->env_calm = EnvironmentWithChain(state->on_calm.next_chain);
  state->envp_quick = Pointers(state->env_quick);
  state->envp_calm = Pointers(state->env_calm);
  state->started = std::chrono::steady_clock::now();
  state->restart = config.restart;
  state->watchdog_seconds = config.watchdog_seconds;
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_init(&state->spawn_attr);
  posix_spawnattr_setsigmask(&state->spawn_attr, &none);
  posix_spawnattr_setflags(&state->spawn_attr, POSIX_SPAWN_SETSIGMASK);
  ::tzset();

  HandlerState* old = g_state;
  g_state = state;
  (void)old;  // kept: a handler on another thread may still read it

  // Warm up libbacktrace (it reads the debug information on first use) so a later report does
  // not have to, and so a failure in that step shows up now rather than in a crash.
  CaptureRaw(g_raw_stack);
  g_raw_stack.size = 0;

  InstallAltStack();
  struct sigaction sa {};
  sa.sa_sigaction = OnFatalSignal;
  sa.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND;
  sigemptyset(&sa.sa_mask);
  for (int sig : kFatalSignals) ::sigaction(sig, &sa, nullptr);
  std::set_terminate(OnTerminate);
}

void SetLockDescriptor(std::intptr_t fd) { g_lock_fd.store(fd); }

void SetStackCaptureHookForTest(void (*hook)()) { g_capture_hook.store(hook); }

void ClearLockDescriptor(std::intptr_t fd) {
  std::intptr_t expected = fd;
  g_lock_fd.compare_exchange_strong(expected, -1);
}

void ReportCurrentException(std::string_view failed_object) {
  if (!EnterReport()) WaitForEnd();
  ArmWatchdog();
  CaptureRaw(g_raw_stack);
  FilterAndDemangle(g_raw_stack, g_stack);
  ReportException(std::current_exception(), failed_object);
}

void ReportFatalError(const ErrorRecord& record) {
  if (!EnterReport()) WaitForEnd();
  ArmWatchdog();
  CaptureRaw(g_raw_stack);
  FilterAndDemangle(g_raw_stack, g_stack);
  ErrorRecord r = record;
  if (r.func_symbol.empty() && g_stack.size > 0) r.func_symbol = g_stack.frames[0].function;
  Finish(r, 70);
}

void CaptureStack(CallStack& stack) {
  static RawStack raw;
  CaptureRaw(raw);
  FilterAndDemangle(raw, stack);
}

}  // namespace kt::errlog
