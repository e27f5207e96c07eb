#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <ctime>

#include "common/platform/stop/stop_request.h"

namespace kt::platform {
namespace {

sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

}  // namespace

void StopRequest::Install() {
  // Blocked before any thread starts, so that no other thread receives them.
  const sigset_t stop = StopSignals();
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  // A reader of our standard output that goes away must not end the program.
  std::signal(SIGPIPE, SIG_IGN);
}

bool StopRequest::WaitFor(std::chrono::milliseconds wait) {
  const sigset_t stop = StopSignals();
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
  timespec limit{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
  const int sig = sigtimedwait(&stop, nullptr, &limit);
  return sig == SIGINT || sig == SIGTERM;
}

void StopRequest::RequestStop() { ::kill(::getpid(), SIGTERM); }  // pending until the waiter takes it

void StopRequest::Stopped() {}

}  // namespace kt::platform
