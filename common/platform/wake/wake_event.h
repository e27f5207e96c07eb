// A one-shot "stop waiting" signal that a waiter can watch beside other things (a child process,
// a socket): Linux gives an eventfd (wake_event_linux.cpp), Windows a manual-reset event
// (wake_event_windows.cpp). handle() is what the waiting functions take as their cancel
// descriptor: the descriptor on Linux, the HANDLE's value on Windows (kernel handles fit in an
// int there); -1 when none could be made.
//
// Thread safety: Signal() from any thread; the handle is read-only after construction.
#pragma once

namespace kt::platform {

class WakeEvent {
 public:
  WakeEvent();
  ~WakeEvent();
  WakeEvent(const WakeEvent&) = delete;
  WakeEvent& operator=(const WakeEvent&) = delete;

  void Signal();
  int handle() const { return handle_; }

 private:
  int handle_ = -1;
};

}  // namespace kt::platform
