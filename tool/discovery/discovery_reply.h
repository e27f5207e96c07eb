// The discovery reply as discovery reads it: the acceptance rule and the four fields the device
// list shows. The reply is the terminal's whole configuration record (config_record.h); the
// configuration pages decode the rest from the stored slot.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "tool/config/configuration.h"

namespace kt::discovery {

// Every received datagram is kept as one slot of exactly this size: shorter datagrams are
// zero-padded, longer ones are dropped.
inline constexpr std::size_t kSlotSize = 288;
using Slot = std::array<std::byte, kSlotSize>;

// Offset of the device name; the name may run past its 26 bytes up to the end of the slot.
inline constexpr std::size_t kNameOffset = 203;

// A slot is a reply when it starts "KVMP", its version is 2, 3, 4 or 5 and its command is 1.
bool IsDiscoveryReply(std::span<const std::byte> slot);

struct DeviceSummary {
  config::Mac mac{};
  uint32_t ip = 0;       // current address (offset 28), host order
  std::string firmware;  // first 5 characters of the text at 41, leading blanks removed
  std::string name;      // first 26 characters of the text at 203, leading blanks removed
};

// REQUIRES: slot.size() == kSlotSize
DeviceSummary Summarize(std::span<const std::byte> slot);

// The device-list line "%-15s  %-17s  %-5s  %-26s": IP, MAC with "-", firmware, name; always 69
// characters wide (widths counted in characters, so non-ASCII names keep the columns).
std::string DeviceListLine(const DeviceSummary& d);

// Sorts device-list lines by sort mode 0-7 (IP, MAC, firmware, name; even ascending, odd
// descending), comparing the column substrings byte by byte. Stable: equal keys keep their order.
void SortDeviceLines(std::vector<std::string>& lines, int mode);

}  // namespace kt::discovery
