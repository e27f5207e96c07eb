#include <cstdio>

#include "server/errlog/startup_checks.h"

namespace kt::errlog {

// Tables and sockets are system handles, which have no per-process limit worth raising; the C
// runtime's streams (logs) do, and 8192 is the most it allows.
uint64_t RaiseOpenFileLimit() {
  const int raised = _setmaxstdio(8192);
  return static_cast<uint64_t>(raised > 0 ? raised : _getmaxstdio());
}

}  // namespace kt::errlog
