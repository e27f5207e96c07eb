#include "server/data/driver/shared_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <tuple>

namespace kt::data {

namespace {

std::string ErrnoText(int err) { return std::strerror(err); }

struct RegistryKey {
  uint64_t device;
  uint64_t inode;
  bool writable;
  auto operator<=>(const RegistryKey&) const = default;
};

struct Registry {
  std::mutex mutex;
  // State below is protected by `mutex`.
  std::map<RegistryKey, std::weak_ptr<SharedFile>> files;
};

Registry& TheRegistry() {
  static Registry* registry = new Registry();  // never destroyed: used until process exit
  return *registry;
}

}  // namespace

SharedFile::SharedFile(int fd, std::filesystem::path path, bool writable, uint64_t device,
                       uint64_t inode)
    : fd_(fd), path_(std::move(path)), writable_(writable), device_(device), inode_(inode) {}

SharedFile::~SharedFile() { ::close(fd_); }

Result<std::size_t> SharedFile::ReadAt(uint64_t offset, std::span<std::byte> out) const {
  std::size_t done = 0;
  while (done < out.size()) {
    const ssize_t n = ::pread(fd_, out.data() + done, out.size() - done,
                              static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return Status::IOError(path_.filename().string() + ": read failed: " + ErrnoText(errno));
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

Status SharedFile::ReadExact(uint64_t offset, std::span<std::byte> out, const char* what) const {
  KT_ASSIGN_OR_RETURN(std::size_t got, ReadAt(offset, out));
  if (got != out.size()) {
    return Status::Corruption(path_.filename().string() + ": " + what + " at offset " +
                              std::to_string(offset) + " runs past the end of the file");
  }
  return Status::Ok();
}

Status SharedFile::WriteAt(uint64_t offset, std::span<const std::byte> data) const {
  if (!writable_) return Status::InvalidArgument(path_.filename().string() + ": opened read-only");
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::pwrite(fd_, data.data() + done, data.size() - done,
                               static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return Status::IOError(path_.filename().string() + ": write failed: " + ErrnoText(errno));
    }
    done += static_cast<std::size_t>(n);
  }
  return Status::Ok();
}

Status SharedFile::Sync() const {
  if (::fdatasync(fd_) != 0) {
    return Status::IOError(path_.filename().string() + ": sync failed: " + ErrnoText(errno));
  }
  return Status::Ok();
}

Result<FileStamp> SharedFile::Stamp() const {
  struct stat st;
  if (::fstat(fd_, &st) != 0) {
    return Status::IOError(path_.filename().string() + ": stat failed: " + ErrnoText(errno));
  }
  return FileStamp{static_cast<uint64_t>(st.st_size),
                   int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec};
}

Status SharedFile::LockRange(uint64_t offset, uint64_t length, bool exclusive) const {
  {
    std::unique_lock held(range_mutex_);
    range_cv_.wait(held, [&] { return held_ranges_.count(offset) == 0; });
    held_ranges_.insert(offset);
  }
  struct flock lock {};
  lock.l_type = static_cast<short>(exclusive ? F_WRLCK : F_RDLCK);
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(offset);
  lock.l_len = static_cast<off_t>(length);
  while (::fcntl(fd_, F_OFD_SETLKW, &lock) != 0) {
    if (errno == EINTR) continue;
    if (errno == ENOLCK || errno == EOPNOTSUPP || errno == EINVAL) return Status::Ok();  // no locks here
    const int err = errno;
    {
      std::scoped_lock held(range_mutex_);
      held_ranges_.erase(offset);
    }
    range_cv_.notify_all();
    return Status::IOError(path_.filename().string() + ": lock failed: " + ErrnoText(err));
  }
  return Status::Ok();
}

void SharedFile::UnlockRange(uint64_t offset, uint64_t length) const {
  struct flock lock {};
  lock.l_type = F_UNLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(offset);
  lock.l_len = static_cast<off_t>(length);
  ::fcntl(fd_, F_OFD_SETLK, &lock);  // unlocking a range we hold cannot fail
  {
    std::scoped_lock held(range_mutex_);
    held_ranges_.erase(offset);
  }
  range_cv_.notify_all();
}

namespace {

struct OpenedFd {
  int fd;
  uint64_t device, inode;
};

Result<OpenedFd> OpenRegularFile(const std::filesystem::path& path, bool writable) {
  const int fd = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  if (fd < 0) {
    const int err = errno;
    if (err == ENOENT) return Status::NotFound(path.string() + ": no such file");
    return Status::IOError(path.string() + ": cannot open: " + ErrnoText(err));
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return Status::IOError(path.string() + ": not a regular file");
  }
  return OpenedFd{fd, static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

// Takes the advisory lock; closes `fd` and reports Unavailable when someone holds a conflicting
// one. File systems that do not lock are used as they are.
Status Lock(int fd, bool exclusive, const std::filesystem::path& path) {
  while (::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno == EWOULDBLOCK) {
      ::close(fd);
      return Status::Unavailable(path.string() + (exclusive ? ": in use by others, cannot open exclusively"
                                                            : ": opened exclusively by another user"));
    }
    break;  // ENOLCK, EOPNOTSUPP, ...: no locking here
  }
  return Status::Ok();
}

}  // namespace

Result<std::shared_ptr<SharedFile>> OpenExclusiveFile(const std::filesystem::path& path,
                                                      bool writable) {
  KT_ASSIGN_OR_RETURN(OpenedFd opened, OpenRegularFile(path, writable));
  KT_RETURN_IF_ERROR(Lock(opened.fd, /*exclusive=*/true, path));
  return std::shared_ptr<SharedFile>(
      new SharedFile(opened.fd, path, writable, opened.device, opened.inode));
}

Result<std::shared_ptr<SharedFile>> OpenSharedFile(const std::filesystem::path& path,
                                                   bool writable) {
  KT_ASSIGN_OR_RETURN(OpenedFd opened, OpenRegularFile(path, writable));
  const int fd = opened.fd;
  const RegistryKey key{opened.device, opened.inode, writable};
  Registry& registry = TheRegistry();
  std::scoped_lock lock(registry.mutex);
  auto it = registry.files.find(key);
  if (it != registry.files.end()) {
    if (auto existing = it->second.lock()) {
      ::close(fd);
      return existing;
    }
  }
  KT_RETURN_IF_ERROR(Lock(fd, /*exclusive=*/false, path));
  // Drop entries whose files were closed, so the map does not grow without bound.
  std::erase_if(registry.files, [](const auto& entry) { return entry.second.expired(); });
  std::shared_ptr<SharedFile> file(new SharedFile(fd, path, writable, key.device, key.inode));
  registry.files[key] = file;
  return file;
}

std::size_t OpenSharedFileCount() {
  Registry& registry = TheRegistry();
  std::scoped_lock lock(registry.mutex);
  std::size_t n = 0;
  for (const auto& [key, file] : registry.files) n += file.expired() ? 0 : 1;
  return n;
}

}  // namespace kt::data
