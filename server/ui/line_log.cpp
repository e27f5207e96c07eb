#include "server/ui/line_log.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

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

}  // namespace

LineLog::LineLog(std::filesystem::path file, std::uintmax_t max_bytes)
    : file_(std::move(file)), max_bytes_(max_bytes), writer_([this] { Run(); }) {}

LineLog::~LineLog() {
  {
    std::scoped_lock lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  writer_.join();
}

void LineLog::Add(std::string_view list, std::string_view line) {
  std::string text = Timestamp() + " " + std::string(list) + " " + std::string(line);
  // Control characters from terminals would break the one-line-per-event layout.
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  {
    std::scoped_lock lock(mutex_);
    ++added_;
    if (queue_.size() >= kMaxQueued) {
      ++dropped_;
      ++written_;  // counted as handled so Flush() does not wait for it
      return;
    }
    queue_.push_back(std::move(text));
  }
  wake_.notify_one();
}

void LineLog::Flush() {
  std::unique_lock lock(mutex_);
  const std::uint64_t target = added_;
  drained_.wait(lock, [&] { return written_ >= target || stop_; });
}

void LineLog::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [&] { return stop_ || !queue_.empty(); });
    if (queue_.empty() && stop_) break;
    std::deque<std::string> batch;
    batch.swap(queue_);
    std::size_t dropped = dropped_;
    dropped_ = 0;
    lock.unlock();

    std::error_code ec;
    if (std::filesystem::file_size(file_, ec) > max_bytes_ && !ec) {
      std::filesystem::path old = file_;
      old += ".1";
      std::filesystem::rename(file_, old, ec);
    }
    if (std::FILE* f = std::fopen(file_.c_str(), "ab")) {
      if (dropped > 0) std::fprintf(f, "%s - %zu lines dropped: log writer too slow\n", Timestamp().c_str(), dropped);
      for (const std::string& line : batch) {
        std::fwrite(line.data(), 1, line.size(), f);
        std::fputc('\n', f);
      }
      std::fclose(f);
    }

    lock.lock();
    written_ += batch.size();
    drained_.notify_all();
  }
  drained_.notify_all();
}

}  // namespace kt::ui
