#include <windows.h>

#include <algorithm>
#include <utility>

#include "common/platform/files/native_file.h"
#include "common/platform/windows_error.h"

namespace kt::platform {
namespace {

HANDLE H(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

OVERLAPPED At(uint64_t offset) {
  OVERLAPPED ov{};
  ov.Offset = static_cast<DWORD>(offset);
  ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return ov;
}

std::string ErrorText(DWORD code) { return WindowsErrorText(code); }

// Writes all of `bytes` at the handle's position; the error code on failure.
DWORD WriteAll(HANDLE h, std::span<const std::byte> bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(h, bytes.data() + done, chunk, &written, nullptr)) return GetLastError();
    if (written == 0) return ERROR_WRITE_FAULT;
    done += written;
  }
  return ERROR_SUCCESS;
}

}  // namespace

std::string LastErrorText() { return ErrorText(GetLastError()); }

void NativeFile::Close() {
  if (is_open()) CloseHandle(H(handle_));
  handle_ = -1;
}

bool NativeFile::is_open() const { return H(handle_) != INVALID_HANDLE_VALUE && handle_ != 0; }

std::string NativeFile::Name() const { return path_.filename().string(); }

Result<NativeFile> NativeFile::Open(const std::filesystem::path& path, bool writable, bool exclusive) {
  // The accounting product opens its tables for reading and writing by everyone; a shared
  // opening allows exactly that, an exclusive one nothing. The handle is not inherited.
  const DWORD access = GENERIC_READ | (writable ? GENERIC_WRITE : 0);
  const DWORD share = exclusive ? 0 : (FILE_SHARE_READ | FILE_SHARE_WRITE);
  HANDLE h = CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD err = GetLastError();
    if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) {
      return Status::NotFound(path.string() + ": no such file");
    }
    if (err == ERROR_SHARING_VIOLATION || err == ERROR_LOCK_VIOLATION) {
      return Status::Unavailable(path.string() + (exclusive ? ": in use by others, cannot open exclusively"
                                                            : ": opened exclusively by another user"));
    }
    return Status::IOError(path.string() + ": cannot open: " + ErrorText(err));
  }
  NativeFile file;
  file.handle_ = reinterpret_cast<std::intptr_t>(h);
  file.path_ = path;
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return Status::IOError(path.string() + ": not a regular file");
  }
  file.identity_ = {info.dwVolumeSerialNumber, (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
  return file;
}

Result<std::size_t> NativeFile::ReadAt(uint64_t offset, std::span<std::byte> out) const {
  std::size_t done = 0;
  while (done < out.size()) {
    // The offset travels in the OVERLAPPED: no shared file position, so threads may read at once.
    OVERLAPPED ov = At(offset + done);
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(out.size() - done, 1u << 30));
    DWORD got = 0;
    if (!ReadFile(H(handle_), out.data() + done, chunk, &got, &ov)) {
      const DWORD err = GetLastError();
      if (err == ERROR_HANDLE_EOF) break;
      return Status::IOError(Name() + ": read failed: " + ErrorText(err));
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

Status NativeFile::WriteAt(uint64_t offset, std::span<const std::byte> data) const {
  std::size_t done = 0;
  while (done < data.size()) {
    OVERLAPPED ov = At(offset + done);
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size() - done, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(H(handle_), data.data() + done, chunk, &written, &ov)) {
      return Status::IOError(Name() + ": write failed: " + ErrorText(GetLastError()));
    }
    if (written == 0) return Status::IOError(Name() + ": write failed: nothing written");
    done += written;
  }
  return Status::Ok();
}

Status NativeFile::Sync() const {
  if (!FlushFileBuffers(H(handle_))) return Status::IOError(Name() + ": sync failed: " + ErrorText(GetLastError()));
  return Status::Ok();
}

Result<FileStamp> NativeFile::Stamp() const {
  LARGE_INTEGER size{};
  FILETIME written{};
  if (!GetFileSizeEx(H(handle_), &size) || !GetFileTime(H(handle_), nullptr, nullptr, &written)) {
    return Status::IOError(Name() + ": stat failed: " + ErrorText(GetLastError()));
  }
  // FILETIME counts 100 ns steps since 1601-01-01; the stamp counts nanoseconds since 1970.
  constexpr int64_t kUnixEpoch = 116444736000000000LL;
  const int64_t ticks = static_cast<int64_t>((uint64_t{written.dwHighDateTime} << 32) | written.dwLowDateTime);
  return FileStamp{static_cast<uint64_t>(size.QuadPart), (ticks - kUnixEpoch) * 100};
}

namespace {

bool LockHandle(HANDLE h, uint64_t offset, uint64_t length, DWORD flags, DWORD& err) {
  OVERLAPPED ov = At(offset);
  if (LockFileEx(h, flags, 0, static_cast<DWORD>(length), static_cast<DWORD>(length >> 32), &ov)) return true;
  err = GetLastError();
  return false;
}

}  // namespace

RangeLockResult NativeFile::TryLock(uint64_t offset, uint64_t length, bool exclusive) const {
  DWORD err = 0;
  const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
  if (LockHandle(H(handle_), offset, length, flags, err)) return RangeLockResult::kLocked;
  if (err == ERROR_LOCK_VIOLATION || err == ERROR_IO_PENDING) return RangeLockResult::kBusy;
  return RangeLockResult::kUnsupported;  // ERROR_NOT_SUPPORTED, ERROR_INVALID_FUNCTION, ...
}

Status NativeFile::Lock(uint64_t offset, uint64_t length, bool exclusive) const {
  DWORD err = 0;
  // Without LOCKFILE_FAIL_IMMEDIATELY, on a synchronous handle, LockFileEx waits until granted.
  if (LockHandle(H(handle_), offset, length, exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0, err)) return Status::Ok();
  if (err == ERROR_NOT_SUPPORTED || err == ERROR_INVALID_FUNCTION) return Status::Ok();  // no locks here
  return Status::IOError(Name() + ": lock failed: " + ErrorText(err));
}

void NativeFile::Unlock(uint64_t offset, uint64_t length) const {
  OVERLAPPED ov = At(offset);
  UnlockFileEx(H(handle_), 0, static_cast<DWORD>(length), static_cast<DWORD>(length >> 32), &ov);
}

bool NativeFile::RangeWriteLocked(uint64_t offset, uint64_t length) const {
  // Windows cannot ask who holds a range; a shared lock that cannot be had means a writer holds it.
  switch (TryLock(offset, length, /*exclusive=*/false)) {
    case RangeLockResult::kLocked:
      Unlock(offset, length);
      return false;
    case RangeLockResult::kBusy:
      return true;
    case RangeLockResult::kUnsupported:
      return false;
  }
  return false;
}

Status CreateNewFile(const std::filesystem::path& path, std::span<const std::byte> bytes) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD err = GetLastError();
    if (err == ERROR_FILE_EXISTS || err == ERROR_ALREADY_EXISTS) {
      return Status::InvalidArgument(path.string() + ": file already exists");
    }
    return Status::IOError(path.string() + ": cannot create: " + ErrorText(err));
  }
  if (const DWORD err = WriteAll(h, bytes); err != ERROR_SUCCESS) {
    CloseHandle(h);
    DeleteFileW(path.c_str());
    return Status::IOError(path.string() + ": write failed: " + ErrorText(err));
  }
  const bool flushed = FlushFileBuffers(h);
  if (!CloseHandle(h) || !flushed) return Status::IOError(path.string() + ": cannot finish writing");
  return Status::Ok();
}

Status ReplaceFileContents(const std::filesystem::path& path, std::span<const std::byte> bytes) {
  std::filesystem::path tmp = path;
  tmp += ".tmp";
  auto failed = [&](const std::string& what, DWORD error, bool remove_tmp) {
    if (remove_tmp) DeleteFileW(tmp.c_str());
    return Status::IOError(what + ": " + ErrorText(error));
  };
  HANDLE h = CreateFileW(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return failed("cannot create " + tmp.string(), GetLastError(), false);
  if (const DWORD err = WriteAll(h, bytes); err != ERROR_SUCCESS) {
    CloseHandle(h);
    return failed("cannot write " + tmp.string(), err, true);
  }
  // Some file systems report a full disk only when the data reaches it.
  if (!FlushFileBuffers(h)) {
    const DWORD err = GetLastError();
    CloseHandle(h);
    return failed("cannot write " + tmp.string(), err, true);
  }
  if (!CloseHandle(h)) return failed("cannot write " + tmp.string(), GetLastError(), true);

  // ReplaceFile keeps the old file's attributes and security; it needs an old file. When it
  // cannot move the new one into place (ERROR_UNABLE_TO_MOVE_REPLACEMENT) the old file still
  // has its name, so MoveFileEx may try. Only ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 leaves no file
  // under the name; that cannot happen without a backup name, which we do not give.
  DWORD err = ERROR_FILE_NOT_FOUND;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    if (ReplaceFileW(path.c_str(), tmp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
      return Status::Ok();
    }
    err = GetLastError();
    if (err == ERROR_SHARING_VIOLATION || err == ERROR_ACCESS_DENIED || err == ERROR_LOCK_VIOLATION) {
      return failed("cannot replace " + path.string(), err, true);
    }
  }
  if (!MoveFileExW(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return failed("cannot replace " + path.string(), GetLastError(), true);
  }
  return Status::Ok();
}

}  // namespace kt::platform
