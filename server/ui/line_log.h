// The window mode's activity log "KTVistrd.log" in the working folder: every connection-list and
// scan-list line with a timestamp, so nothing is lost when a busy list drops a line.
//
// Add() only queues the line (common/log/line_queue.h); one writer thread appends to the file, so
// a slow or full disk never holds up a session. Lines that find the queue full, or that cannot be
// written (disk full), are counted, and a line "- N lines dropped ..." is written once the file
// takes lines again. When the file passes kMaxBytes it is renamed to "KTVistrd.log.1"
// (replacing an older one) and a new file begins, so the log never fills the disk. Control
// characters in a line are written as \xNN: one line per event, and nothing a terminal sends
// acts on the console of whoever reads the file.
//
// Thread safety: Add() from any thread; construction and destruction on one thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string_view>

#include "common/log/line_queue.h"

namespace kt::ui {

inline constexpr std::string_view kActivityLogName = "KTVistrd.log";

class LineLog {
 public:
  static constexpr std::uintmax_t kMaxBytes = 8u << 20;
  // Lines waiting beyond this are counted and dropped (the writer is far behind).
  static constexpr std::size_t kMaxQueued = 100000;

  // `max_bytes`: the size past which the file is rotated.
  explicit LineLog(std::filesystem::path file, std::uintmax_t max_bytes = kMaxBytes);

  // `list` names the list the line belongs to ("C" connection, "S" scan).
  void Add(std::string_view list, std::string_view line);
  // Waits (up to `wait`) until every line added so far is in the file or counted as lost.
  bool Flush(std::chrono::milliseconds wait = std::chrono::seconds(30));
  // Lines dropped or not written so far.
  std::uint64_t lost() const { return queue_.lost(); }

  const std::filesystem::path& file() const { return file_; }

 private:
  const std::filesystem::path file_;
  log::LineQueue queue_;  // last: its writer uses the members above
};

}  // namespace kt::ui
