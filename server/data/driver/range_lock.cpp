#include "server/data/driver/range_lock.h"

#include <fcntl.h>

#include <cerrno>

namespace kt::data {

namespace {

bool SetLock(const SharedFile& file, short type, uint64_t offset, uint64_t length, int& err) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(offset);
  lock.l_len = static_cast<off_t>(length);
  lock.l_pid = 0;  // required for OFD locks
  while (::fcntl(file.native_handle(), F_OFD_SETLK, &lock) != 0) {
    if (errno == EINTR) continue;
    err = errno;
    return false;
  }
  return true;
}

}  // namespace

RangeLockResult TryLockRange(const SharedFile& file, uint64_t offset, uint64_t length, bool exclusive) {
  // A read-only descriptor cannot hold a write lock: the kernel answers EBADF.
  int err = 0;
  if (SetLock(file, exclusive ? F_WRLCK : F_RDLCK, offset, length, err)) return RangeLockResult::kLocked;
  if (err == EAGAIN || err == EACCES) return RangeLockResult::kBusy;
  return RangeLockResult::kUnsupported;  // ENOLCK, EINVAL, EOPNOTSUPP, EBADF, ...
}

void UnlockRange(const SharedFile& file, uint64_t offset, uint64_t length) {
  int err = 0;
  (void)SetLock(file, F_UNLCK, offset, length, err);  // nothing to do when it fails
}

bool RangeWriteLocked(const SharedFile& file, uint64_t offset, uint64_t length) {
  struct flock probe {};
  probe.l_type = F_RDLCK;  // conflicts only with write locks
  probe.l_whence = SEEK_SET;
  probe.l_start = static_cast<off_t>(offset);
  probe.l_len = static_cast<off_t>(length);
  probe.l_pid = 0;
  if (::fcntl(file.native_handle(), F_OFD_GETLK, &probe) != 0) return false;
  return probe.l_type != F_UNLCK;
}

}  // namespace kt::data
