#include <windows.h>

#include "common/platform/stop/stop_request.h"

namespace kt::platform {
namespace {

HANDLE StopEvent() {
  static HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return event;
}

HANDLE StoppedEvent() {
  static HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return event;
}

// Runs on a thread Windows makes for the event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  SetEvent(StopEvent());
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    // Returning ends the process: give the program its clean stop first (Windows allows about
    // five seconds for a closing console).
    WaitForSingleObject(StoppedEvent(), 4500);
  }
  return TRUE;
}

}  // namespace

void StopRequest::Install() {
  StopEvent();
  StoppedEvent();
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool StopRequest::WaitFor(std::chrono::milliseconds wait) {
  return WaitForSingleObject(StopEvent(), static_cast<DWORD>(wait.count())) == WAIT_OBJECT_0;
}

void StopRequest::RequestStop() { SetEvent(StopEvent()); }

void StopRequest::Stopped() { SetEvent(StoppedEvent()); }

}  // namespace kt::platform
