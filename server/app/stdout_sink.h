// The headless server's sink: every connection line, scan line and error box goes to standard
// output as one line with a timestamp. Control characters in a line (a terminal may send
// anything) are written as \xNN, so received bytes never act on the operator's console.
//
// Lines go through a bounded queue to one writer thread (common/log/line_queue.h): a console held
// with Ctrl-S or a pipe nobody reads never stops a session or the listener. Lines that do not fit
// are dropped and counted, and a line "- N log lines dropped (output blocked)" follows once the
// output takes lines again.
// Written to the systemd journal, a line carries no timestamp (the journal adds its own) but a
// priority prefix the journal reads: "<3>" for error boxes, "<4>" for the dropped-lines notice,
// "<6>" for the rest.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "common/event_sink.h"
#include "common/log/line_queue.h"

namespace kt::app {

// True when `out` is the stream systemd connected to the journal: JOURNAL_STREAM names its
// device and inode ("DEV:INODE").
bool StdoutIsJournal(std::FILE* out);

class StdoutSink : public EventSink {
 public:
  enum class Style { kTimestamped, kJournal };
  static constexpr std::size_t kQueuedLines = 10000;

  // `fd`: where the lines go (standard output unless a test says otherwise). It must stay open
  // for the life of the process (a stalled writer may outlive the sink).
  explicit StdoutSink(int fd = 1, Style style = Style::kTimestamped,
                      std::size_t queued_lines = kQueuedLines);
  // The same on the descriptor of `out` (written directly, not through its buffer).
  explicit StdoutSink(std::FILE* out, Style style = Style::kTimestamped,
                      std::size_t queued_lines = kQueuedLines)
      : StdoutSink(fileno(out), style, queued_lines) {}
  void ConnectedInfo(std::string_view text) override { Write("conn", text); }
  void ScanInfo(std::string_view text) override { Write("scan", text); }
  void ErrorBox(std::string_view text) override { Write("error", text); }
  // A line of the program itself (start, blocking texts, stop).
  void Info(std::string_view text) { Write("info", text); }

  // Waits up to `wait` for the lines so far to be written (or counted as dropped).
  bool Flush(std::chrono::milliseconds wait) { return queue_.Flush(wait); }
  std::uint64_t dropped() const { return queue_.lost(); }

 private:
  void Write(std::string_view tag, std::string_view text);

  const Style style_;
  log::LineQueue queue_;
};

// "2026-12-10 12:00:00.123 " for now, local time.
std::string LogTimestamp();
void AppendLogTimestamp(std::string& out);

}  // namespace kt::app
