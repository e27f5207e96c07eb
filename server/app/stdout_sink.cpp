#include "server/app/stdout_sink.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "common/text/printable.h"

namespace kt::app {
namespace {

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

std::string LogTimestamp() {
  std::string stamp;
  AppendLogTimestamp(stamp);
  return stamp;
}

void AppendLogTimestamp(std::string& out) {
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  // Every scan logs a line: the local date and time are formatted once a second per thread.
  thread_local std::time_t formatted_second = -1;
  thread_local char date_time[32];
  thread_local std::size_t date_time_length = 0;
  if (t != formatted_second) {
    std::tm tm{};
    localtime_r(&t, &tm);
    date_time_length = std::strftime(date_time, sizeof date_time, "%Y-%m-%d %H:%M:%S", &tm);
    formatted_second = t;
  }
  const int m = static_cast<int>(ms);
  const char millis[] = {'.', static_cast<char>('0' + m / 100), static_cast<char>('0' + m / 10 % 10),
                         static_cast<char>('0' + m % 10), ' '};
  out.append(date_time, date_time_length).append(millis, sizeof millis);
}

bool StdoutIsJournal(std::FILE* out) {
  const char* stream = std::getenv("JOURNAL_STREAM");
  if (stream == nullptr || out == nullptr) return false;
  unsigned long long dev = 0, ino = 0;
  if (std::sscanf(stream, "%llu:%llu", &dev, &ino) != 2) return false;
  struct stat st {};
  if (fstat(fileno(out), &st) != 0) return false;
  return static_cast<unsigned long long>(st.st_dev) == dev && static_cast<unsigned long long>(st.st_ino) == ino;
}

StdoutSink::StdoutSink(int fd, Style style, std::size_t queued_lines)
    : style_(style),
      queue_([fd](std::string_view text) { return WriteAll(fd, text); },
             [style](std::uint64_t n) {
               // sd-daemon priority 4: warning
               return (style == Style::kJournal ? std::string("<4>") : LogTimestamp()) + "info: - " +
                      std::to_string(n) + " log lines dropped (output blocked)";
             },
             {.capacity = queued_lines}) {}

void StdoutSink::Write(std::string_view tag, std::string_view text) {
  std::string line;
  line.reserve(text.size() + tag.size() + 40);
  if (style_ == Style::kJournal) {
    line += tag == "error" ? "<3>" : "<6>";  // sd-daemon priorities: err, info
  } else {
    AppendLogTimestamp(line);
  }
  line += tag;
  line += ": ";
  text::AppendPrintable(line, text);
  queue_.Push(std::move(line));
}

}  // namespace kt::app
