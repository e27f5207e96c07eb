#include "common/platform/threads/thread_slot.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace kt::platform {

static_assert(sizeof(DWORD) <= sizeof(unsigned long));

namespace {

// Runs when a thread ends (and for the last thread when the process ends), with that thread's
// value. It reads nothing from the C runtime's thread data, which may be gone by then.
void WINAPI DeleteAtThreadExit(void* value) { delete static_cast<ThreadSlotValue*>(value); }

}  // namespace

ThreadSlot::ThreadSlot() {
  const DWORD index = ::FlsAlloc(&DeleteAtThreadExit);
  if (index == FLS_OUT_OF_INDEXES) {
    std::fprintf(stderr, "no thread-local slot left: error %lu\n", ::GetLastError());
    std::abort();
  }
  key_ = index;
}

ThreadSlotValue* ThreadSlot::Get() const { return static_cast<ThreadSlotValue*>(::FlsGetValue(key_)); }

void ThreadSlot::Set(ThreadSlotValue* value) {
  if (!::FlsSetValue(key_, value)) {
    std::fprintf(stderr, "cannot fill a thread-local slot: error %lu\n", ::GetLastError());
    std::abort();
  }
}

}  // namespace kt::platform
