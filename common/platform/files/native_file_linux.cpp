#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "common/platform/files/native_file.h"

namespace kt::platform {
namespace {

std::string ErrnoText(int err) { return std::strerror(err); }

int Fd(std::intptr_t h) { return static_cast<int>(h); }

bool SetRangeLock(int fd, short type, uint64_t offset, uint64_t length, bool wait, int& err) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(offset);
  lock.l_len = static_cast<off_t>(length);
  lock.l_pid = 0;  // required for OFD locks
  while (::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock) != 0) {
    if (errno == EINTR) continue;
    err = errno;
    return false;
  }
  return true;
}

// Writes all of `bytes` to `fd`; errno on failure (EIO for a write that makes no progress).
int WriteAll(int fd, std::span<const std::byte> bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : EIO;
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

}  // namespace

std::string LastErrorText() { return ErrnoText(errno); }

void NativeFile::Close() {
  if (handle_ >= 0) ::close(Fd(handle_));
  handle_ = -1;
}

bool NativeFile::is_open() const { return handle_ >= 0; }

std::string NativeFile::Name() const { return path_.filename().string(); }

Result<NativeFile> NativeFile::Open(const std::filesystem::path& path, bool writable, bool exclusive) {
  const int fd = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  if (fd < 0) {
    const int err = errno;
    if (err == ENOENT) return Status::NotFound(path.string() + ": no such file");
    return Status::IOError(path.string() + ": cannot open: " + ErrnoText(err));
  }
  NativeFile file;
  file.handle_ = fd;
  file.path_ = path;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    return Status::IOError(path.string() + ": not a regular file");
  }
  file.identity_ = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
  // The opening's sharing is an advisory flock: shared openings take a shared one, exclusive
  // openings an exclusive one. File systems that do not lock are used as they are.
  while (::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno == EWOULDBLOCK) {
      return Status::Unavailable(path.string() + (exclusive ? ": in use by others, cannot open exclusively"
                                                            : ": opened exclusively by another user"));
    }
    break;  // ENOLCK, EOPNOTSUPP, ...: no locking here
  }
  return file;
}

Result<std::size_t> NativeFile::ReadAt(uint64_t offset, std::span<std::byte> out) const {
  std::size_t done = 0;
  while (done < out.size()) {
    const ssize_t n = ::pread(Fd(handle_), out.data() + done, out.size() - done,
                              static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return Status::IOError(Name() + ": read failed: " + ErrnoText(errno));
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

Status NativeFile::WriteAt(uint64_t offset, std::span<const std::byte> data) const {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::pwrite(Fd(handle_), data.data() + done, data.size() - done,
                               static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return Status::IOError(Name() + ": write failed: " + ErrnoText(errno));
    }
    done += static_cast<std::size_t>(n);
  }
  return Status::Ok();
}

Status NativeFile::Sync() const {
  if (::fdatasync(Fd(handle_)) != 0) return Status::IOError(Name() + ": sync failed: " + ErrnoText(errno));
  return Status::Ok();
}

Result<FileStamp> NativeFile::Stamp() const {
  struct stat st;
  if (::fstat(Fd(handle_), &st) != 0) return Status::IOError(Name() + ": stat failed: " + ErrnoText(errno));
  return FileStamp{static_cast<uint64_t>(st.st_size),
                   int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec};
}

RangeLockResult NativeFile::TryLock(uint64_t offset, uint64_t length, bool exclusive) const {
  // A read-only descriptor cannot hold a write lock: the kernel answers EBADF.
  int err = 0;
  if (SetRangeLock(Fd(handle_), exclusive ? F_WRLCK : F_RDLCK, offset, length, false, err)) {
    return RangeLockResult::kLocked;
  }
  if (err == EAGAIN || err == EACCES) return RangeLockResult::kBusy;
  return RangeLockResult::kUnsupported;  // ENOLCK, EINVAL, EOPNOTSUPP, EBADF, ...
}

Status NativeFile::Lock(uint64_t offset, uint64_t length, bool exclusive) const {
  int err = 0;
  if (SetRangeLock(Fd(handle_), exclusive ? F_WRLCK : F_RDLCK, offset, length, true, err)) return Status::Ok();
  if (err == ENOLCK || err == EOPNOTSUPP || err == EINVAL) return Status::Ok();  // no locks here
  return Status::IOError(Name() + ": lock failed: " + ErrnoText(err));
}

void NativeFile::Unlock(uint64_t offset, uint64_t length) const {
  int err = 0;
  (void)SetRangeLock(Fd(handle_), F_UNLCK, offset, length, false, err);  // cannot fail for a held range
}

bool NativeFile::RangeWriteLocked(uint64_t offset, uint64_t length) const {
  struct flock probe {};
  probe.l_type = F_RDLCK;  // conflicts only with write locks
  probe.l_whence = SEEK_SET;
  probe.l_start = static_cast<off_t>(offset);
  probe.l_len = static_cast<off_t>(length);
  probe.l_pid = 0;
  if (::fcntl(Fd(handle_), F_OFD_GETLK, &probe) != 0) return false;
  return probe.l_type != F_UNLCK;
}

Status CreateNewFile(const std::filesystem::path& path, std::span<const std::byte> bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    const int err = errno;
    if (err == EEXIST) return Status::InvalidArgument(path.string() + ": file already exists");
    return Status::IOError(path.string() + ": cannot create: " + ErrnoText(err));
  }
  if (const int err = WriteAll(fd, bytes); err != 0) {
    ::close(fd);
    ::unlink(path.c_str());
    return Status::IOError(path.string() + ": write failed: " + ErrnoText(err));
  }
  if (::fsync(fd) != 0 || ::close(fd) != 0) return Status::IOError(path.string() + ": cannot finish writing");
  return Status::Ok();
}

Status ReplaceFileContents(const std::filesystem::path& path, std::span<const std::byte> bytes) {
  std::filesystem::path tmp = path;
  tmp += ".tmp";
  auto failed = [&](const std::string& what, int error, bool remove_tmp) {
    if (remove_tmp) ::unlink(tmp.c_str());
    return Status::IOError(what + ": " + ErrnoText(error));
  };
  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return failed("cannot create " + tmp.string(), errno, false);
  if (const int err = WriteAll(fd, bytes); err != 0) {
    ::close(fd);
    return failed("cannot write " + tmp.string(), err, true);
  }
  // Some file systems report a full disk only when the data reaches it.
  if (::fsync(fd) != 0 && errno != EINVAL) {
    const int err = errno;
    ::close(fd);
    return failed("cannot write " + tmp.string(), err, true);
  }
  if (::close(fd) != 0) return failed("cannot write " + tmp.string(), errno, true);
  if (::rename(tmp.c_str(), path.c_str()) != 0) return failed("cannot replace " + path.string(), errno, true);
  return Status::Ok();
}

}  // namespace kt::platform
