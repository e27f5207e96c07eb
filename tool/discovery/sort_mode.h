// The device list's sort mode (0-7): which column a header click sorts by and in which direction,
// and which marker goes in front of that column's header.
#pragma once

namespace kt::discovery {

enum class SortColumn { kIp = 0, kMac = 1, kFirmware = 2, kName = 3 };

// Mode the list starts with (MAC ascending); it lives as long as the program.
inline constexpr int kInitialSortMode = 2;

// A click on a column header: the same column's ascending mode becomes descending; anything else
// sorts the clicked column ascending.
int SortModeAfterClick(int mode, SortColumn clicked);

SortColumn SortColumnOf(int mode);
bool IsDescending(int mode);

}  // namespace kt::discovery
