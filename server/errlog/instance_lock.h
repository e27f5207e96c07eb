// The single-instance lock file "KTVistrd.fil" in the working folder.
//
// The file is created with one text line when missing and then held until the owner ends: on
// Linux open with an exclusive advisory lock (flock, instance_lock.cpp), on Windows open without
// letting anyone else write it (instance_lock_windows.cpp). The system lets go when the holder
// dies, so a lock left by a crashed instance never blocks the next start; the handle is not
// inherited, so a restarted instance does not inherit its predecessor's lock. The crash handler
// is told the handle and closes it before it starts the new instance.
//
// Move-only; one object per process. Not thread-safe (created and released on the main thread).
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>

#include "common/status.h"

namespace kt::errlog {

inline constexpr const char* kLockFileName = "KTVistrd.fil";

class InstanceLock {
 public:
  // Takes the lock in `dir`. With a wait, retries until it runs out (a restarted instance waits
  // for its predecessor to end). Unavailable when another instance holds the lock; IOError when
  // the file cannot be created or opened.
  static Result<InstanceLock> Acquire(const std::filesystem::path& dir,
                                      std::chrono::milliseconds wait = std::chrono::milliseconds(0));

  InstanceLock(InstanceLock&& other) noexcept;
  InstanceLock& operator=(InstanceLock&& other) noexcept;
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;
  ~InstanceLock();

  // Gives the lock up now (the file stays; it is harmless and reused by the next start).
  void Release();
  bool held() const { return handle_ != kNoHandle; }

 private:
  static constexpr std::intptr_t kNoHandle = -1;
  explicit InstanceLock(std::intptr_t handle) : handle_(handle) {}
  std::intptr_t handle_ = kNoHandle;  // a descriptor or a HANDLE
};

}  // namespace kt::errlog
