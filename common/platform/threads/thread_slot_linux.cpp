#include "common/platform/threads/thread_slot.h"

#include <pthread.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kt::platform {

static_assert(sizeof(pthread_key_t) <= sizeof(unsigned long));

namespace {

void DeleteAtThreadExit(void* value) { delete static_cast<ThreadSlotValue*>(value); }

pthread_key_t KeyOf(unsigned long key) { return static_cast<pthread_key_t>(key); }

}  // namespace

ThreadSlot::ThreadSlot() {
  pthread_key_t key{};
  if (const int error = ::pthread_key_create(&key, &DeleteAtThreadExit); error != 0) {
    std::fprintf(stderr, "no thread-local slot left: %s\n", std::strerror(error));
    std::abort();
  }
  key_ = key;
}

ThreadSlotValue* ThreadSlot::Get() const { return static_cast<ThreadSlotValue*>(::pthread_getspecific(KeyOf(key_))); }

void ThreadSlot::Set(ThreadSlotValue* value) {
  if (const int error = ::pthread_setspecific(KeyOf(key_), value); error != 0) {
    std::fprintf(stderr, "cannot fill a thread-local slot: %s\n", std::strerror(error));
    std::abort();
  }
}

}  // namespace kt::platform
