// What a terminal session asks of the item side, one object per connection.
//
// The listener creates one handler per accepted terminal through a ScanHandlerFactory, handing it
// the connection number (the handler names its work areas after it). The session thread is the
// only user of its handler: no method is called from two threads at once.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace kt::net {

class ScanHandler {
 public:
  virtual ~ScanHandler() = default;

  // The bytes sent when the terminal has connected (the expanded greeting template).
  virtual std::string Greeting() = 0;
  // Opens the connection's own tables; false when one failed (the failure is already reported).
  // The session calls it again, paced, until it succeeds.
  virtual bool OpenTables() = 0;
  // Closes whatever OpenTables opened; safe to call when nothing is open.
  virtual void CloseTables() = 0;
  // The reply to one filtered, non-empty code: the expanded scan-OK or scan-failed template.
  virtual std::string Answer(const std::string& code) = 0;
};

// Makes the handler of connection `connection_number` (1-based).
using ScanHandlerFactory = std::function<std::unique_ptr<ScanHandler>(int connection_number)>;

}  // namespace kt::net
