#include <windows.h>

#include "common/alt_signal_stack.h"

namespace kt {

// Windows has no signal stacks: a thread that overflows its stack runs the unhandled-exception
// filter on what is left of it. Keeping a reserve lets the filter run; the crash handler does
// the heavy work (walking the stack, writing the report) on a thread of its own.
AltSignalStack::AltSignalStack() {
  ULONG reserve = 16 * 1024;
  if (SetThreadStackGuarantee(&reserve)) base_ = this;
}

AltSignalStack::~AltSignalStack() = default;

}  // namespace kt
