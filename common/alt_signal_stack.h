// An alternate signal stack for the calling thread, for as long as the object lives.
//
// A thread that overflows its own stack can only run a fatal-signal handler on a stack of its
// own; without one the process dies silently. The alternate stack is per thread and a new thread
// starts without one, so every long-lived thread of the server makes one first thing:
//   void Worker() { kt::AltSignalStack alt_stack; ... }
//
// Thread safety: construct and destroy on the same thread. Failures (no memory) leave the thread
// without an alternate stack, as before.
#pragma once

#include <cstddef>

namespace kt {

class AltSignalStack {
 public:
  // Room for the crash handler: it walks the stack and reads the debug information there, which
  // took more than 64 KiB in a large program. Pages are touched only when a handler runs.
  static constexpr std::size_t kSize = 256 * 1024;

  AltSignalStack();
  ~AltSignalStack();
  AltSignalStack(const AltSignalStack&) = delete;
  AltSignalStack& operator=(const AltSignalStack&) = delete;

  bool installed() const { return base_ != nullptr; }

 private:
  void* base_ = nullptr;  // mapping: one guard page, then kSize bytes of stack
};

}  // namespace kt
