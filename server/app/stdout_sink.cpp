#include "server/app/stdout_sink.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string>

namespace kt::app {
namespace {

// "YYYY-MM-DD hh:mm:ss.mmm " in local time.
void AppendTimestamp(std::string& line) {
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm tm{};
  localtime_r(&t, &tm);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
  line += stamp;
  char frac[8];
  std::snprintf(frac, sizeof frac, ".%03d ", static_cast<int>(ms));
  line += frac;
}

}  // namespace

bool StdoutIsJournal(std::FILE* out) {
  const char* stream = std::getenv("JOURNAL_STREAM");
  if (stream == nullptr || out == nullptr) return false;
  unsigned long long dev = 0, ino = 0;
  if (std::sscanf(stream, "%llu:%llu", &dev, &ino) != 2) return false;
  struct stat st {};
  if (fstat(fileno(out), &st) != 0) return false;
  return static_cast<unsigned long long>(st.st_dev) == dev && static_cast<unsigned long long>(st.st_ino) == ino;
}

void StdoutSink::Write(std::string_view tag, std::string_view text) {
  std::string line;
  line.reserve(text.size() + 40);
  if (style_ == Style::kJournal) {
    line += tag == "error" ? "<3>" : "<6>";  // sd-daemon priorities: err, info
  } else {
    AppendTimestamp(line);
  }
  line += tag;
  line += ": ";
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\x%02X", b);
      line += esc;
    } else {
      line += c;
    }
  }
  line += '\n';
  std::scoped_lock lock(mutex_);
  std::fwrite(line.data(), 1, line.size(), out_);
  std::fflush(out_);
}

}  // namespace kt::app
