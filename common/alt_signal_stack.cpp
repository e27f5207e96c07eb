#include "common/alt_signal_stack.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

namespace kt {
namespace {

std::size_t PageSize() { return static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)); }

}  // namespace

AltSignalStack::AltSignalStack() {
  stack_t current{};
  // A thread that already has one (the main thread, from the crash handler) keeps it.
  if (::sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) == 0) return;
  const std::size_t page = PageSize();
  // Pages are touched only when a handler runs, so a thousand idle sessions cost address space.
  void* base = ::mmap(nullptr, page + kSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE,
                      -1, 0);
  if (base == MAP_FAILED) return;
  ::mprotect(base, page, PROT_NONE);  // an overflow of the handler itself faults, not corrupts
  stack_t ss{};
  ss.ss_sp = static_cast<char*>(base) + page;
  ss.ss_size = kSize;
  if (::sigaltstack(&ss, nullptr) != 0) {
    ::munmap(base, page + kSize);
    return;
  }
  base_ = base;
}

AltSignalStack::~AltSignalStack() {
  if (base_ == nullptr) return;
  stack_t off{};
  off.ss_flags = SS_DISABLE;
  ::sigaltstack(&off, nullptr);
  ::munmap(base_, PageSize() + kSize);
}

}  // namespace kt
