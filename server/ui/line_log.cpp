#include "server/ui/line_log.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>

#include "common/text/printable.h"

namespace kt::ui {
namespace {

std::string Timestamp() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &local);
  return buf;
}

// Appends `text` to `file`, rotating it first when it has grown past `max_bytes`. False when the
// text did not reach the file whole (disk full, no permission).
bool AppendToFile(const std::filesystem::path& file, std::uintmax_t max_bytes, std::string_view text) {
  std::error_code ec;
  if (std::filesystem::file_size(file, ec) > max_bytes && !ec) {
    std::filesystem::path old = file;
    old += ".1";
    std::filesystem::rename(file, old, ec);
  }
  std::FILE* f = std::fopen(file.c_str(), "ab");
  if (f == nullptr) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  const bool closed = std::fclose(f) == 0;  // the buffered rest is written here
  return written && closed;
}

}  // namespace

LineLog::LineLog(std::filesystem::path file, std::uintmax_t max_bytes)
    : file_(std::move(file)),
      queue_([file = file_, max_bytes](std::string_view text) { return AppendToFile(file, max_bytes, text); },
             [](std::uint64_t n) { return Timestamp() + " - " + std::to_string(n) + " lines dropped: log writer too slow or disk full"; },
             {.capacity = kMaxQueued}) {}

void LineLog::Add(std::string_view list, std::string_view line) {
  std::string text = Timestamp();
  text += ' ';
  text += list;
  text += ' ';
  text::AppendPrintable(text, line);
  queue_.Push(std::move(text));
}

bool LineLog::Flush(std::chrono::milliseconds wait) { return queue_.Flush(wait); }

}  // namespace kt::ui
