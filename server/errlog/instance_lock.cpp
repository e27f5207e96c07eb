#include "server/errlog/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <thread>
#include <utility>

#include "server/errlog/crash_handler.h"

namespace kt::errlog {
namespace {

constexpr std::string_view kLockText = "KT-Vistrand TCP Server instance lock\r\n";

std::string ErrnoText(const char* what, const std::filesystem::path& p, int err) {
  return std::string(what) + " " + p.string() + ": " + std::strerror(err);
}

}  // namespace

Result<InstanceLock> InstanceLock::Acquire(const std::filesystem::path& dir,
                                           std::chrono::milliseconds wait) {
  const std::filesystem::path path = dir / kLockFileName;
  // Create it with its text line when missing; O_EXCL so two starting instances do not both write.
  int created = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (created >= 0) {
    ssize_t ignored = ::write(created, kLockText.data(), kLockText.size());
    (void)ignored;
    ::close(created);
  } else if (errno != EEXIST) {
    return Status::IOError(ErrnoText("cannot create lock file", path, errno));
  }

  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Status::IOError(ErrnoText("cannot open lock file", path, errno));

  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) break;
    const int err = errno;
    if (err != EWOULDBLOCK && err != EINTR) {
      ::close(fd);
      return Status::IOError(ErrnoText("cannot lock", path, err));
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      ::close(fd);
      return Status::Unavailable("another instance holds " + path.string());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  SetLockDescriptor(fd);
  return InstanceLock(fd);
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
  ::close(static_cast<int>(handle_));
  handle_ = kNoHandle;
}

}  // namespace kt::errlog
