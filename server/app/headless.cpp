#include "server/app/headless.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "common/platform/stop/stop_request.h"
#include "server/app/server_core.h"
#include "server/app/stdout_sink.h"
#include "server/data/database_retry.h"
#include "server/data/driver/index_read_attempts.h"
#include "server/errlog/crash_handler.h"
#include "server/errlog/instance_lock.h"
#include "server/errlog/startup_checks.h"

namespace kt::app {
namespace {

constexpr std::chrono::seconds kCheckPeriod{10};         // SERVERCHECK period
constexpr std::chrono::milliseconds kStatusPoll{250};  // how often the blocking state is looked at

}  // namespace

int RunHeadless(const ServerOptions& server_options, int argc, char** argv) {
  const CoreOptions& options = server_options.core;
  const bool restart = server_options.restart;

  StdoutSink sink(stdout, StdoutIsJournal(stdout) ? StdoutSink::Style::kJournal
                                                 : StdoutSink::Style::kTimestamped);
  if (!errlog::NumberFormatAcceptable()) {
    sink.ErrorBox(errlog::kNumberFormatMessage);
    return 1;
  }
  auto lock = errlog::InstanceLock::Acquire(options.workdir);
  if (!lock.ok()) {
    std::fprintf(stderr, "kt-vistrand-server: %s\n",
                 lock.status().IsUnavailable() ? "another instance serves this working folder"
                                               : lock.status().ToString().c_str());
    return lock.status().IsUnavailable() ? 0 : 1;
  }

  // The stop request (SIGINT/SIGTERM; Ctrl-C or a closing console on Windows; a service stop)
  // is taken by the main loop below; installed before any thread starts.
  platform::StopRequest::Install();

  std::vector<std::string> args(argv, argv + argc);
  errlog::InstallCrashHandler({options.workdir, args, restart});

  ServerCore core(options, sink);
  if (Status st = core.Start(); !st.ok()) {
    sink.ErrorBox(st.ToString());
    return 1;
  }
  sink.Info(std::string(errlog::kApplicationName) + " (headless) Port: " + std::to_string(core.Port()));
  std::string shown = "(nothing yet)";  // so the first state is always logged
  auto next_check = std::chrono::steady_clock::now() + kCheckPeriod;
  for (;;) {
    // A data folder that is not there at start (a share mounted late) is opened once it is.
    core.RetryDatabase();
    // The state is shown as soon as it changes (the listener may pass the self-test after
    // STARTSERVER stopped waiting for it); probes still go out every ten seconds only. A
    // database that is not open comes first: nothing is served without it.
    std::string text = data::DatabaseNotOpenStatus(core.globals());
    if (text.empty()) text = core.RETURNTEXTFIREWALL();
    if (text != shown) {
      sink.Info(text.empty() ? "Self-test passed: serving terminals" : "### " + text + " ###");
      shown = text;
    }
    if (platform::StopRequest::WaitFor(kStatusPoll)) break;
    if (std::chrono::steady_clock::now() >= next_check) {
      core.SERVERCHECK();
      next_check = std::chrono::steady_clock::now() + kCheckPeriod;
    }
  }
  core.Stop();
  // How often index reads met a writer of the accounting product (for the technicians' figures).
  const data::CollisionCounters reads = data::ReadCollisionCounters();
  sink.Info("Index reads: " + std::to_string(reads.operations) + " operations, " +
            std::to_string(reads.retries) + " retries, " + std::to_string(reads.lock_waits) +
            " waits for a writer's lock, " + std::to_string(reads.gave_up) + " gave up, " +
            std::to_string(reads.damage) + " damaged");
  sink.Info("Stopped");
  std::fflush(stdout);
  platform::StopRequest::Stopped();
  return 0;
}

}  // namespace kt::app
