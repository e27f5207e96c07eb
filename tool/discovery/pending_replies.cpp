#include "tool/discovery/pending_replies.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace kt::discovery {

void PendingReplies::Append(std::span<const std::byte> data) {
  assert(data.size() <= kSlotSize);
  const std::size_t n = std::min(data.size(), kSlotSize);
  std::scoped_lock lock(mutex_);
  const std::size_t at = bytes_.size();
  if (bytes_.capacity() < at + kSlotSize) {
    bytes_.reserve((at + kSlotSize + kGrowthStep - 1) / kGrowthStep * kGrowthStep * 2);
  }
  bytes_.resize(at + kSlotSize, std::byte{0});
  std::memcpy(bytes_.data() + at, data.data(), n);
}

std::optional<Slot> PendingReplies::Take() {
  std::scoped_lock lock(mutex_);
  if (bytes_.size() - read_position_ < kSlotSize) return std::nullopt;
  Slot slot;
  std::memcpy(slot.data(), bytes_.data() + read_position_, kSlotSize);
  read_position_ += kSlotSize;
  if (read_position_ == bytes_.size()) {
    // Everything taken: start over instead of growing for the whole scan.
    bytes_.clear();
    read_position_ = 0;
  }
  return slot;
}

bool PendingReplies::HasData() const {
  std::scoped_lock lock(mutex_);
  return bytes_.size() > read_position_;
}

}  // namespace kt::discovery
