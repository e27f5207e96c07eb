#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

#include "common/platform/wake/wake_event.h"

namespace kt::platform {

WakeEvent::WakeEvent() : handle_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

WakeEvent::~WakeEvent() {
  if (handle_ >= 0) ::close(handle_);
}

void WakeEvent::Signal() {
  const uint64_t one = 1;
  if (handle_ >= 0) {
    const ssize_t ignored = ::write(handle_, &one, sizeof one);
    (void)ignored;
  }
}

}  // namespace kt::platform
