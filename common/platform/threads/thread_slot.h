// A slot in which each thread keeps one object of its own, destroyed by the system when that
// thread ends (POSIX thread keys on Linux, fiber-local storage on Windows). `ThreadOwned` is
// the typed face of it; use that.
#pragma once

namespace kt::platform {

// What a slot holds: the thread-exit hook deletes it through this base.
struct ThreadSlotValue {
  virtual ~ThreadSlotValue() = default;
};

class ThreadSlot {
 public:
  // Aborts when the system has no slot left: a few are made, at start-up, and a program without
  // them cannot run correctly.
  ThreadSlot();
  ThreadSlot(const ThreadSlot&) = delete;
  ThreadSlot& operator=(const ThreadSlot&) = delete;
  // The slot itself is not given back (see ThreadOwned).
  ~ThreadSlot() = default;

  // The calling thread's object, or nullptr before it set one.
  ThreadSlotValue* Get() const;
  // Hands `value` to the calling thread's slot, which deletes it when the thread ends. A slot
  // is set once per thread.
  void Set(ThreadSlotValue* value);

 private:
  unsigned long key_ = 0;
};

}  // namespace kt::platform
