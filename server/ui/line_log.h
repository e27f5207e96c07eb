// The window mode's activity log "KTVistrd.log" in the working folder: every connection-list and
// scan-list line with a timestamp, so nothing is lost when a busy list drops a line.
//
// Add() only queues the line under a short lock; a writer thread appends to the file. When the
// file passes kMaxBytes it is renamed to "KTVistrd.log.1" (replacing an older one) and a new file
// begins, so the log never fills the disk.
//
// Thread safety: Add() from any thread; construction and destruction on one thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace kt::ui {

inline constexpr std::string_view kActivityLogName = "KTVistrd.log";

class LineLog {
 public:
  static constexpr std::uintmax_t kMaxBytes = 8u << 20;
  // Lines waiting beyond this are counted and dropped (the writer is far behind).
  static constexpr std::size_t kMaxQueued = 100000;

  // `max_bytes`: the size past which the file is rotated.
  explicit LineLog(std::filesystem::path file, std::uintmax_t max_bytes = kMaxBytes);
  ~LineLog();  // writes what is queued, then stops the writer
  LineLog(const LineLog&) = delete;
  LineLog& operator=(const LineLog&) = delete;

  // `list` names the list the line belongs to ("C" connection, "S" scan).
  void Add(std::string_view list, std::string_view line);
  // Blocks until every line added so far is in the file (tests, shutdown).
  void Flush();

  const std::filesystem::path& file() const { return file_; }

 private:
  void Run();

  const std::filesystem::path file_;
  const std::uintmax_t max_bytes_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable drained_;
  // State below is protected by `mutex_`.
  std::deque<std::string> queue_;
  std::size_t dropped_ = 0;
  std::uint64_t added_ = 0;
  std::uint64_t written_ = 0;
  bool stop_ = false;

  std::thread writer_;
};

}  // namespace kt::ui
