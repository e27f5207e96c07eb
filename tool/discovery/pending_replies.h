// The buffer between the receiving thread and the scan worker: the receiver appends 288-byte
// slots, the worker takes them in arrival order. Unbounded, so a burst of replies is never lost
// while the worker is busy.
//
// Thread safety: all methods may be called concurrently; one mutex guards the buffer.
#pragma once

#include <cstddef>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "tool/discovery/discovery_reply.h"

namespace kt::discovery {

class PendingReplies {
 public:
  // Stores one datagram as a slot: its bytes, zero-padded to 288. REQUIRES: data.size() <= 288.
  void Append(std::span<const std::byte> data);
  // The oldest slot not yet taken, or nullopt.
  std::optional<Slot> Take();
  bool HasData() const;

 private:
  static constexpr std::size_t kGrowthStep = 1024;

  mutable std::mutex mutex_;
  // State below is protected by mutex_.
  std::vector<std::byte> bytes_;
  std::size_t read_position_ = 0;
};

}  // namespace kt::discovery
