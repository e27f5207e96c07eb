// The headless server's sink: every connection line, scan line and error box goes to standard
// output as one line with a timestamp. Nothing is dropped: writers wait for the lock instead.
// Control bytes in a line (a terminal may send anything) are written as \xNN.
#pragma once

#include <cstdio>
#include <mutex>
#include <string_view>

#include "server/data/event_sink.h"

namespace kt::app {

class StdoutSink : public data::EventSink {
 public:
  explicit StdoutSink(std::FILE* out = stdout) : out_(out) {}
  void ConnectedInfo(std::string_view text) override { Write("conn", text); }
  void ScanInfo(std::string_view text) override { Write("scan", text); }
  void ErrorBox(std::string_view text) override { Write("error", text); }
  // A line of the program itself (start, blocking texts, stop).
  void Info(std::string_view text) { Write("info", text); }

 private:
  void Write(std::string_view tag, std::string_view text);

  std::mutex mutex_;
  std::FILE* const out_;  // guarded by mutex_ for writing
};

}  // namespace kt::app
