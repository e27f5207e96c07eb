#include <windows.h>

#include <string>
#include <thread>
#include <utility>

#include "common/platform/windows_error.h"
#include "server/errlog/crash_handler.h"
#include "server/errlog/instance_lock.h"

namespace kt::errlog {
namespace {

constexpr std::string_view kLockText = "KT-Vistrand TCP Server instance lock\r\n";

}  // namespace

Result<InstanceLock> InstanceLock::Acquire(const std::filesystem::path& dir,
                                           std::chrono::milliseconds wait) {
  const std::filesystem::path path = dir / kLockFileName;
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    // Held for writing and shared for reading only: a second instance, which wants to write too,
    // meets a sharing violation, while anyone may still read the text line. Not inherited.
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      LARGE_INTEGER size{};
      if (GetFileSizeEx(h, &size) && size.QuadPart == 0) {
        DWORD written = 0;
        WriteFile(h, kLockText.data(), static_cast<DWORD>(kLockText.size()), &written, nullptr);
      }
      const auto handle = reinterpret_cast<std::intptr_t>(h);
      SetLockDescriptor(handle);
      return InstanceLock(handle);
    }
    const DWORD err = GetLastError();
    if (err != ERROR_SHARING_VIOLATION && err != ERROR_LOCK_VIOLATION) {
      return Status::IOError("cannot open lock file " + path.string() + ": " + platform::WindowsErrorText(err));
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      return Status::Unavailable("another instance holds " + path.string());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

InstanceLock::InstanceLock(InstanceLock&& other) noexcept : handle_(std::exchange(other.handle_, kNoHandle)) {}

InstanceLock& InstanceLock::operator=(InstanceLock&& other) noexcept {
  if (this != &other) {
    Release();
    handle_ = std::exchange(other.handle_, kNoHandle);
  }
  return *this;
}

InstanceLock::~InstanceLock() { Release(); }

void InstanceLock::Release() {
  if (handle_ == kNoHandle) return;
  ClearLockDescriptor(handle_);
  CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = kNoHandle;
}

}  // namespace kt::errlog
