// The window's ServerControl over the real listener (KTECHOSERVERTCP) and self-test client
// (KTECHOCLIENT).
//
// The listener is created on the first StartServer with the configured port and a 10-second
// accept time-out. A listener whose bind failed is started again by the next StartServer (the
// ten-second check), so the server begins to listen by itself once the port is free.
//
// Thread safety: window thread only (the flags are shared with the listener's threads).
#pragma once

#include <chrono>
#include <memory>

#include "server/net/echo_server.h"
#include "server/net/scan_handler.h"
#include "server/net/server_flags.h"
#include "server/ui/server_control.h"

namespace kt::data {
class GLOBALVARIABLE;
}
namespace kt::net {
class LogSink;
}

namespace kt::ui {

class ListenerControl : public ServerControl {
 public:
  // How long StartServer waits for the listener's verdict on its probe.
  static constexpr std::chrono::milliseconds kVerdictWait{1000};

  // All references must outlive the object.
  ListenerControl(data::GLOBALVARIABLE& globals, net::ServerFlags& flags, net::LogSink& sink,
                  net::ScanHandlerFactory factory);
  ~ListenerControl() override;

  void StartServer() override;
  bool Listening() const override;
  bool ProbeSent() const override { return flags_.probe_sent; }
  bool SelfTestPassed() const override { return flags_.selftest_passed; }
  uint16_t Port() const override;

  // Ends the listener and every session (the window mode's shutdown).
  void Stop();
  net::KTECHOSERVERTCP* listener() { return listener_.get(); }

 private:
  data::GLOBALVARIABLE& globals_;
  net::ServerFlags& flags_;
  net::LogSink& sink_;
  const net::ScanHandlerFactory factory_;
  std::unique_ptr<net::KTECHOSERVERTCP> listener_;
};

}  // namespace kt::ui
