// The operating system's file, as the table driver and the settings writers need it.
//
// Linux (native_file_linux.cpp): pread/pwrite on one descriptor, a shared or exclusive flock
// per opening, byte-range locks as open-file-description (OFD) locks. Windows
// (native_file_windows.cpp): ReadFile/WriteFile with the offset in an OVERLAPPED, shared
// openings with FILE_SHARE_READ|FILE_SHARE_WRITE as the accounting product opens its tables,
// exclusive openings without sharing, byte-range locks through LockFileEx. Either way a range
// lock belongs to the handle: two handles of one file conflict as two processes do.
//
// File names: Linux compares them exactly (the data folder's lookup finds the stored spelling,
// server/data/driver/file_lookup.h); Windows file systems ignore case themselves.
//
// Thread safety: one NativeFile may be read, written and locked from any thread at once;
// opening, moving and closing belong to one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "common/status.h"

namespace kt::platform {

// What identifies a file's contents state cheaply: size and modification time.
struct FileStamp {
  uint64_t size = 0;
  int64_t mtime_ns = 0;
  bool operator==(const FileStamp&) const = default;
};

// The same numbers for every opening of one file (device and inode, or volume and file index).
struct FileIdentity {
  uint64_t device = 0;
  uint64_t file = 0;
};

enum class RangeLockResult {
  kLocked,       // held now
  kBusy,         // someone holds a conflicting lock
  kUnsupported,  // the file system keeps no such locks: go on without them
};

class NativeFile {
 public:
  // Opens an existing regular file. `exclusive`: nobody else may have it open meanwhile.
  // NotFound when it does not exist, Unavailable when the sharing wanted conflicts with another
  // opening, IOError otherwise. Messages start with the path.
  static Result<NativeFile> Open(const std::filesystem::path& path, bool writable, bool exclusive);

  NativeFile() = default;
  NativeFile(NativeFile&& other) noexcept;
  NativeFile& operator=(NativeFile&& other) noexcept;
  NativeFile(const NativeFile&) = delete;
  NativeFile& operator=(const NativeFile&) = delete;
  ~NativeFile();

  bool is_open() const;
  const FileIdentity& identity() const { return identity_; }

  // Reads up to out.size() bytes at `offset`; fewer only at the end of the file. Never moves a
  // position another thread relies on.
  Result<std::size_t> ReadAt(uint64_t offset, std::span<std::byte> out) const;
  Status WriteAt(uint64_t offset, std::span<const std::byte> data) const;
  Status Sync() const;
  Result<FileStamp> Stamp() const;

  // Byte-range locks. TryLock never waits; Lock waits until granted.
  RangeLockResult TryLock(uint64_t offset, uint64_t length, bool exclusive) const;
  Status Lock(uint64_t offset, uint64_t length, bool exclusive) const;
  void Unlock(uint64_t offset, uint64_t length) const;
  // True when another handle holds an exclusive lock on part of the range (a writer at work).
  bool RangeWriteLocked(uint64_t offset, uint64_t length) const;

 private:
  std::string Name() const;  // the file name, for messages
  void Close();

  std::intptr_t handle_ = -1;  // a descriptor or a HANDLE
  std::filesystem::path path_;
  FileIdentity identity_;
};

// Creates `path` with `bytes`; never replaces an existing file (InvalidArgument "file already
// exists"). A file left half written is removed.
Status CreateNewFile(const std::filesystem::path& path, std::span<const std::byte> bytes);

// Replaces `path` (or creates it) with `bytes` safely: the bytes go to "<path>.tmp", reach the
// disk, and only then take the old file's place in one step (rename on Linux; ReplaceFile, or
// MoveFileEx with MOVEFILE_REPLACE_EXISTING, on Windows). On any failure the old file stays as
// it was and the temporary file is removed. Errors name the step and the system's reason.
Status ReplaceFileContents(const std::filesystem::path& path, std::span<const std::byte> bytes);

// The system's text for the last error of the calling thread (errno or GetLastError).
std::string LastErrorText();

}  // namespace kt::platform
