#include <windows.h>

#include <cstdint>

#include "common/platform/wake/wake_event.h"

namespace kt::platform {

WakeEvent::WakeEvent() {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (event != nullptr) handle_ = static_cast<int>(reinterpret_cast<std::intptr_t>(event));
}

WakeEvent::~WakeEvent() {
  if (handle_ >= 0) CloseHandle(reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(handle_)));
}

void WakeEvent::Signal() {
  if (handle_ >= 0) SetEvent(reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(handle_)));
}

}  // namespace kt::platform
