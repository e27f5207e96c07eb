// A simulated back office: changes the item table S_STOCK of a data folder while the price-check
// server reads it, the way the accounting product's users do: prices change, new items are
// appended with codes of their own, and items get new codes. Each kind runs at its own rate for
// a given time, through the table driver's writer, so every change takes the standard record,
// header and index locks and keeps the compound index up to date.
//
// Every change is one line of the log, written when it is done (tab-separated):
//   kind  lock_ns  unlock_ns  recno  code_before  code_after  price_before  price_after
// kind is "price", "append" or "code"; lock_ns is the steady clock (system-wide monotonic clock,
// nanoseconds) just before the change asked for its first lock, unlock_ns just after its last
// lock was released; codes are KODE_C trimmed (code_before is empty for an append); prices are
// HARGA_J_01. New prices are whole thousands, so currency rounding leaves them as they are.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <ostream>

#include "common/status.h"

namespace kt::bench {

struct BackOfficeOptions {
  std::filesystem::path data;  // the data folder (…/ST_DB) or the folder that holds ST_DB
  std::chrono::milliseconds duration{10000};
  double appends_per_second = 0;
  double prices_per_second = 0;
  double codes_per_second = 0;
  // Records whose prices / codes change, inclusive; 0-0 means every record there was at start.
  uint32_t price_first = 0, price_last = 0;
  uint32_t code_first = 0, code_last = 0;
  uint32_t seed = 1;
};

struct BackOfficeReport {
  uint64_t appends = 0, prices = 0, codes = 0;
  std::chrono::nanoseconds longest_change{0};  // lock to unlock
  std::chrono::nanoseconds elapsed{0};
};

// Runs until the duration is over. InvalidArgument for bad options, the driver's error when a
// change fails (the log holds every change done before it).
Result<BackOfficeReport> RunBackOffice(const BackOfficeOptions& options, std::ostream& log);

}  // namespace kt::bench
