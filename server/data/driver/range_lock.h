// Byte-range locks in the xBase engines' lock area, far beyond the data (the index lock is the one
// byte at 0x7FFFFFFE of the .CDX): shared while reading, exclusive while writing.
//
// The locks belong to the handle (Linux OFD locks, Windows LockFileEx), not to the process: two
// handles of one file in the same process conflict like two processes do, and closing some
// other handle of the file does not release them. The lock never blocks: a caller that finds
// the range taken decides itself how long to wait.
//
// Thread safety: the functions may be called from any thread; a lock held through a shared
// descriptor is one lock for every thread that uses that descriptor (count holders yourself).
#pragma once

#include <cstdint>

#include "common/platform/files/native_file.h"
#include "server/data/driver/shared_file.h"

namespace kt::data {

inline constexpr uint64_t kCdxLockOffset = 0x7FFFFFFE;

// kLocked: held now; kBusy: someone holds a conflicting lock; kUnsupported: the file system
// keeps no such locks, read without them.
using RangeLockResult = platform::RangeLockResult;

RangeLockResult TryLockRange(const SharedFile& file, uint64_t offset, uint64_t length, bool exclusive);
void UnlockRange(const SharedFile& file, uint64_t offset, uint64_t length);
// True when another descriptor holds an exclusive lock on part of the range (a writer at work).
bool RangeWriteLocked(const SharedFile& file, uint64_t offset, uint64_t length);

}  // namespace kt::data
