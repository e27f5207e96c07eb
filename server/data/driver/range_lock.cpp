#include "server/data/driver/range_lock.h"

namespace kt::data {

RangeLockResult TryLockRange(const SharedFile& file, uint64_t offset, uint64_t length, bool exclusive) {
  return file.native().TryLock(offset, length, exclusive);
}

void UnlockRange(const SharedFile& file, uint64_t offset, uint64_t length) {
  file.native().Unlock(offset, length);  // nothing to do when it fails
}

bool RangeWriteLocked(const SharedFile& file, uint64_t offset, uint64_t length) {
  return file.native().RangeWriteLocked(offset, length);
}

}  // namespace kt::data
