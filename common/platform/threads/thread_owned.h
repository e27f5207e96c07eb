// One object of a type for each thread that asks, made on the thread's first `Get()` and
// destroyed when the thread ends:
//
//   static kt::platform::ThreadOwned<Cache> caches;
//   Cache& cache = caches.Get();
//
// Use it for a per-thread object whose type has a destructor; a function-local `thread_local`
// of such a type is not safe on Windows. There the MinGW runtime keeps `thread_local` objects in
// blocks it frees when a thread's POSIX-thread data goes, and it runs their destructors after
// that, on freed memory: a heap another thread may already be using again. Here only the
// system's own thread slot holds the object, and the system hands it back for destruction.
// `thread_local` stays fine for trivially destructible values (numbers, arrays of them).
//
// Thread safety: `Get()` may be called from any thread; each gets its own object. An instance
// is meant to have static storage: the slot is never given back, so a thread still running while
// the program exits keeps a valid object.
#pragma once

#include "common/platform/threads/thread_slot.h"

namespace kt::platform {

template <typename T>
class ThreadOwned {
 public:
  ThreadOwned() = default;
  ThreadOwned(const ThreadOwned&) = delete;
  ThreadOwned& operator=(const ThreadOwned&) = delete;

  T& Get() {
    auto* held = static_cast<Held*>(slot_.Get());
    if (held == nullptr) {
      held = new Held();
      slot_.Set(held);
    }
    return held->value;
  }

 private:
  struct Held final : ThreadSlotValue {
    T value{};
  };
  ThreadSlot slot_;
};

}  // namespace kt::platform
