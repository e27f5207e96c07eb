#include "tool/discovery/device_table.h"

#include <cassert>

namespace kt::discovery {

void DeviceTable::Clear() {
  entries_.clear();
  cursor_ = 0;
}

void DeviceTable::Append(DeviceEntry entry) {
  entries_.push_back(std::move(entry));
  cursor_ = entries_.size() - 1;
}

std::optional<DeviceEntry> DeviceTable::First() {
  if (entries_.empty()) return std::nullopt;
  cursor_ = 0;
  return entries_[0];
}

std::optional<DeviceEntry> DeviceTable::Next() {
  if (cursor_ + 1 >= entries_.size()) {
    cursor_ = entries_.size();
    return std::nullopt;
  }
  return entries_[++cursor_];
}

void DeviceTable::ReplaceAtCursor(DeviceEntry entry) {
  assert(cursor_ < entries_.size());
  if (cursor_ < entries_.size()) entries_[cursor_] = std::move(entry);
}

const DeviceEntry* DeviceTable::FindAndSelect(const config::Mac& mac) {
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].summary.mac == mac) {
      cursor_ = i;
      return &entries_[i];
    }
  }
  return nullptr;
}

const DeviceEntry* DeviceTable::Find(const config::Mac& mac) const {
  for (const DeviceEntry& e : entries_) {
    if (e.summary.mac == mac) return &e;
  }
  return nullptr;
}

}  // namespace kt::discovery
