// One OS file handle per file, shared by every work area that has the file open.
//
// Work areas never move a file offset: all I/O is positioned (positioned reads and writes), so one descriptor
// serves any number of threads at once. The registry hands out the same SharedFile for the same
// file (device and inode) and access mode while anyone holds it; the descriptor closes with the
// last holder. A thousand sessions with six tables each therefore use six descriptors.
//
// An exclusive opening fails while the file is open shared (in this process or another that
// shares files the same way), and the other way round (common/platform/files/native_file.h says
// how each system does it). File systems without such locks are used unlocked.
//
// Thread safety: SharedFile and the registry functions may be used from any thread.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <span>

#include "common/platform/files/native_file.h"
#include "common/status.h"

namespace kt::data {

// What identifies a file's contents state cheaply: size and modification time.
using FileStamp = platform::FileStamp;

class SharedFile {
 public:
  SharedFile(const SharedFile&) = delete;
  SharedFile& operator=(const SharedFile&) = delete;
  ~SharedFile();

  // Reads exactly out.size() bytes at `offset`. Corruption when the file ends first (the message
  // names `what`), IOError on a failed read.
  Status ReadExact(uint64_t offset, std::span<std::byte> out, const char* what) const;
  // Reads up to out.size() bytes; returns how many were read (fewer only at end of file).
  Result<std::size_t> ReadAt(uint64_t offset, std::span<std::byte> out) const;
  // REQUIRES: opened writable.
  Status WriteAt(uint64_t offset, std::span<const std::byte> data) const;
  Status Sync() const;
  Result<FileStamp> Stamp() const;

  // Byte-range locks as other xBase programs take them (far beyond the data; see xbase_locks.h).
  // They belong to this handle, so closing another handle of the same file does not drop them, and they conflict with locks other
  // processes (and other handles of this process) hold on the range. Threads of this process
  // share the handle, so they take turns at one range (by its offset) before asking the
  // system. Blocks until granted.
  Status LockRange(uint64_t offset, uint64_t length, bool exclusive) const;
  void UnlockRange(uint64_t offset, uint64_t length) const;

  const std::filesystem::path& path() const { return path_; }
  bool writable() const { return writable_; }
  uint64_t device() const { return file_.identity().device; }
  uint64_t inode() const { return file_.identity().file; }
  // The system's file, for byte-range locks (range_lock.h); owned by this object.
  const platform::NativeFile& native() const { return file_; }

 private:
  friend Result<std::shared_ptr<SharedFile>> OpenSharedFile(const std::filesystem::path&, bool);
  friend Result<std::shared_ptr<SharedFile>> OpenExclusiveFile(const std::filesystem::path&, bool);
  SharedFile(platform::NativeFile file, std::filesystem::path path, bool writable);

  const platform::NativeFile file_;
  const std::filesystem::path path_;
  mutable std::mutex range_mutex_;
  mutable std::condition_variable range_cv_;
  mutable std::set<uint64_t> held_ranges_;  // offsets locked by a thread of this process
  const bool writable_;
};

// The shared handle for `path`, opened read-only or read-write. NotFound when the file does not
// exist, Unavailable while it is open exclusively, IOError when it cannot be opened.
Result<std::shared_ptr<SharedFile>> OpenSharedFile(const std::filesystem::path& path, bool writable);

// A handle of its own, locked exclusively: Unavailable while anyone has the file open shared
// (or exclusively). Not shared with later openings.
Result<std::shared_ptr<SharedFile>> OpenExclusiveFile(const std::filesystem::path& path,
                                                      bool writable);

// Number of distinct files the registry holds open now (for tests and diagnostics).
std::size_t OpenSharedFileCount();

}  // namespace kt::data
