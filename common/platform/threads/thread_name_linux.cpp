#include "common/platform/threads/thread_name.h"

#include <pthread.h>

namespace kt::platform {

void SetThreadName(const char* name) { ::pthread_setname_np(::pthread_self(), name); }

}  // namespace kt::platform
