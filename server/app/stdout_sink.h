// The headless server's sink: every connection line, scan line and error box goes to standard
// output as one line with a timestamp. Nothing is dropped: writers wait for the lock instead.
// Control bytes in a line (a terminal may send anything) are written as \xNN.
// Written to the systemd journal, a line carries no timestamp (the journal adds its own) but a
// priority prefix the journal reads: "<3>" for error boxes, "<6>" for the rest.
#pragma once

#include <cstdio>
#include <mutex>
#include <string_view>

#include "server/data/event_sink.h"

namespace kt::app {

// True when `out` is the stream systemd connected to the journal: JOURNAL_STREAM names its
// device and inode ("DEV:INODE").
bool StdoutIsJournal(std::FILE* out);

class StdoutSink : public data::EventSink {
 public:
  enum class Style { kTimestamped, kJournal };
  explicit StdoutSink(std::FILE* out = stdout, Style style = Style::kTimestamped)
      : out_(out), style_(style) {}
  void ConnectedInfo(std::string_view text) override { Write("conn", text); }
  void ScanInfo(std::string_view text) override { Write("scan", text); }
  void ErrorBox(std::string_view text) override { Write("error", text); }
  // A line of the program itself (start, blocking texts, stop).
  void Info(std::string_view text) { Write("info", text); }

 private:
  void Write(std::string_view tag, std::string_view text);

  std::mutex mutex_;
  std::FILE* const out_;  // guarded by mutex_ for writing
  const Style style_;
};

}  // namespace kt::app
