// The device table: the terminals found, in order of first arrival, keyed by MAC address.
//
// Each entry keeps the reply slot as received (network order; config::DecodeConfigRecord turns
// it into host-order values) and its summary. A cursor supports the First/Next/Replace walk the
// other parts of the tool use.
//
// Thread safety: none. During a scan only the scan worker writes it; readers wait until the scan
// has ended.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "tool/discovery/discovery_reply.h"

namespace kt::discovery {

struct DeviceEntry {
  Slot slot{};
  DeviceSummary summary;
};

class DeviceTable {
 public:
  void Clear();
  // Appends at the tail; the cursor moves to the new entry.
  void Append(DeviceEntry entry);
  // The head's entry, cursor on it; nullopt on an empty table.
  std::optional<DeviceEntry> First();
  // Moves the cursor on and returns its entry; nullopt at the end.
  std::optional<DeviceEntry> Next();
  // Replaces the entry under the cursor. REQUIRES: the cursor is on an entry.
  void ReplaceAtCursor(DeviceEntry entry);
  // Walks from the head comparing MACs; on a match the cursor is left on the entry.
  const DeviceEntry* FindAndSelect(const config::Mac& mac);
  // Walks from the head comparing MACs, leaving the cursor alone.
  const DeviceEntry* Find(const config::Mac& mac) const;

  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  const std::vector<DeviceEntry>& entries() const { return entries_; }

 private:
  std::vector<DeviceEntry> entries_;
  std::size_t cursor_ = 0;  // == entries_.size() when off the end
};

}  // namespace kt::discovery
