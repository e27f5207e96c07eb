// Test program for the crash handler: takes the instance lock in a folder, installs the handler
// and fails on a worker thread. A successor started by the handler writes "successor.txt" (its
// restart count) and ends, except in "storm" mode, where every instance fails again at once.
//
//   errlog_crash_probe DIR throw|segv|storm-throw|storm-segv|hold|overflow|hang-capture
//
// overflow: the worker thread (with its alternate signal stack, as every server thread has)
// recurses until its stack runs out. hang-capture: collecting the stack never ends, as when a
// lock it needs is held by another thread; the watchdog (2 s here) must still restart.
#include <chrono>
#include <cstdint>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "common/alt_signal_stack.h"
#include "server/errlog/crash_handler.h"
#include "server/errlog/instance_lock.h"
#include "server/errlog/restart_guard.h"

namespace {

// A real invalid memory access; the sanitizers would catch it before the signal does.
// The address comes from a volatile so the compiler cannot see that it is null.
volatile std::uintptr_t g_nowhere = 0;

__attribute__((noinline, no_sanitize("address", "undefined"))) void WriteNowhere() {
  *reinterpret_cast<volatile int*>(g_nowhere) = 42;
}

// Recurses without end; the volatile buffer keeps every frame on the stack.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winfinite-recursion"
__attribute__((noinline, no_sanitize("address", "undefined"))) int RecurseForever(int depth) {
  volatile char frame[256];
  frame[depth % sizeof frame] = static_cast<char>(depth);
  return RecurseForever(depth + 1) + frame[0];
}
#pragma GCC diagnostic pop

void HangForever() {
  for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

[[gnu::noinline]] void ProbeSessionWork(const std::string& mode) {
  kt::AltSignalStack alt_stack;
  if (mode == "segv" || mode == "storm-segv") WriteNowhere();
  if (mode == "overflow") RecurseForever(0);
  throw std::runtime_error("probe failure in " + mode + " mode");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string dir = argv[1];
  const std::string mode = argv[2];
  const auto chain = kt::errlog::RestartChainFromEnvironment();

  auto lock = kt::errlog::InstanceLock::Acquire(dir, std::chrono::milliseconds(chain ? 5000 : 0));
  if (!lock.ok()) return 3;  // another instance runs: end silently

  kt::errlog::InstallCrashHandler({dir, std::vector<std::string>(argv, argv + argc), true, 2});
  if (mode == "hang-capture" && !chain) kt::errlog::SetStackCaptureHookForTest(HangForever);

  if (mode == "hold") {
    std::this_thread::sleep_for(std::chrono::seconds(30));
    return 0;
  }
  if (chain && mode.rfind("storm", 0) != 0) {
    std::ofstream(dir + "/successor.txt") << *chain << "\n";
    return 0;
  }
  std::thread worker([&] { ProbeSessionWork(mode); });
  worker.join();
  return 0;
}
