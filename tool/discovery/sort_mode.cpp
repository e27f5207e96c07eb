#include "tool/discovery/sort_mode.h"

namespace kt::discovery {

int SortModeAfterClick(int mode, SortColumn clicked) {
  const int ascending = 2 * static_cast<int>(clicked);
  return mode == ascending ? ascending + 1 : ascending;
}

SortColumn SortColumnOf(int mode) { return static_cast<SortColumn>((mode / 2) & 3); }

bool IsDescending(int mode) { return (mode & 1) != 0; }

}  // namespace kt::discovery
