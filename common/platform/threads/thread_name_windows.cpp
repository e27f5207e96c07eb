#include "common/platform/threads/thread_name.h"

#include <windows.h>

#include <string>

namespace kt::platform {

// SetThreadDescription exists from Windows 10 1607 on; older systems keep unnamed threads.
void SetThreadName(const char* name) {
  using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
  static const auto set = reinterpret_cast<SetDescription>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
  if (!set) return;
  std::wstring wide;
  for (const char* p = name; *p; ++p) wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*p)));
  set(::GetCurrentThread(), wide.c_str());
}

}  // namespace kt::platform
