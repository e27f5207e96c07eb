#include <windows.h>

#include "server/errlog/os_version.h"

namespace kt::errlog {

std::string OsVersionLine() {
  // GetVersionEx answers what the program's manifest asks for; RtlGetVersion tells the truth.
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  OSVERSIONINFOW v{};
  v.dwOSVersionInfoSize = sizeof v;
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  auto get = ntdll != nullptr ? reinterpret_cast<RtlGetVersionFn>(
                                    reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
                              : nullptr;
  if (get == nullptr || get(&v) != 0) return "Error using RtlGetVersion() ...";
  return "Windows " + std::to_string(v.dwMajorVersion) + "." + std::to_string(v.dwMinorVersion) +
         ", Build: " + std::to_string(v.dwBuildNumber);
}

}  // namespace kt::errlog
