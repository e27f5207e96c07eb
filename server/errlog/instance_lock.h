// The single-instance lock file "KTVistrd.fil" in the working folder.
//
// The file is created with one text line when missing and then held open with an exclusive
// advisory lock (flock) until the owner ends. The kernel drops the lock when the holder dies, so
// a lock left by a crashed instance never blocks the next start; the descriptor is close-on-exec,
// so a restarted instance does not inherit its predecessor's lock. The crash handler is told the
// descriptor and closes it before it starts the new instance.
//
// Move-only; one object per process. Not thread-safe (created and released on the main thread).
#pragma once

#include <chrono>
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
  bool held() const { return fd_ >= 0; }

 private:
  explicit InstanceLock(int fd) : fd_(fd) {}
  int fd_ = -1;
};

}  // namespace kt::errlog
