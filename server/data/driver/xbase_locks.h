// The byte-range locks xBase programs use to share tables and compound indexes, and a guard that
// holds one. The locks lie far beyond the data and are never read or written; only the offsets
// matter, and they are named here once.
//
//   table with a structural index (header flag 0x01):  header / append lock 1 byte at 0x7FFFFFFE,
//                                                      record r 1 byte at 0x7FFFFFFE - r
//   table without one:                                 header / append lock 1 byte at 0x40000000,
//                                                      record r 1 byte at 0x40000000 + header length
//                                                      + (r - 1) * record length
//   compound index:                                    1 byte at 0x7FFFFFFE, exclusive while a
//                                                      writer changes the file, shared while a
//                                                      reader walks it
#pragma once

#include <cstdint>

#include "common/status.h"
#include "server/data/driver/range_lock.h"
#include "server/data/driver/shared_file.h"

namespace kt::data {

struct LockRange {
  uint64_t offset = 0;
  uint64_t length = 1;
};

inline constexpr uint64_t kIndexedTableLockBase = 0x7FFFFFFE;
inline constexpr uint64_t kPlainTableLockBase = 0x40000000;
inline constexpr LockRange kIndexFileLock{kCdxLockOffset, 1};

inline LockRange TableHeaderLock(bool structural_index) {
  return {structural_index ? kIndexedTableLockBase : kPlainTableLockBase, 1};
}
inline LockRange TableRecordLock(bool structural_index, uint16_t header_length,
                                 uint16_t record_length, uint32_t recno) {
  if (structural_index) return {kIndexedTableLockBase - recno, 1};
  return {kPlainTableLockBase + header_length + uint64_t{recno - 1} * record_length, 1};
}

// Holds one lock until destroyed (or Release()).
class RangeLockGuard {
 public:
  RangeLockGuard() = default;
  RangeLockGuard(RangeLockGuard&& o) noexcept : file_(o.file_), range_(o.range_) { o.file_ = nullptr; }
  RangeLockGuard& operator=(RangeLockGuard&& o) noexcept {
    if (this != &o) {
      Release();
      file_ = o.file_;
      range_ = o.range_;
      o.file_ = nullptr;
    }
    return *this;
  }
  RangeLockGuard(const RangeLockGuard&) = delete;
  ~RangeLockGuard() { Release(); }

  // `file` must outlive the guard.
  static Result<RangeLockGuard> Acquire(const SharedFile& file, LockRange range, bool exclusive) {
    KT_RETURN_IF_ERROR(file.LockRange(range.offset, range.length, exclusive));
    RangeLockGuard g;
    g.file_ = &file;
    g.range_ = range;
    return g;
  }
  void Release() {
    if (file_) file_->UnlockRange(range_.offset, range_.length);
    file_ = nullptr;
  }

 private:
  const SharedFile* file_ = nullptr;
  LockRange range_;
};

}  // namespace kt::data
