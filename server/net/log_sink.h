// Where the listener, the sessions and the self-test report their events: the connection list
// and the scan list of the server's window, or standard output of the headless server.
//
// Implementations must accept calls from any thread at any time.
#pragma once

#include <string_view>

namespace kt::net {

class LogSink {
 public:
  virtual ~LogSink() = default;
  virtual void AddConnectedInfo(std::string_view line) = 0;  // connection events
  virtual void AddScanInfo(std::string_view line) = 0;       // received data, lookup errors
};

// A sink that drops everything (tests that only look at the wire).
class NullLogSink : public LogSink {
 public:
  void AddConnectedInfo(std::string_view) override {}
  void AddScanInfo(std::string_view) override {}
};

}  // namespace kt::net
