// The main window's ServerControl over the server's start-up core (listener, self-test client,
// flags and the database retry live there).
#pragma once

#include "server/app/server_core.h"
#include "server/ui/server_control.h"

namespace kt::ui {

class CoreControl : public ServerControl {
 public:
  explicit CoreControl(app::ServerCore& core) : core_(core) {}

  void StartServer() override { core_.STARTSERVER(); }
  bool Listening() const override {
    return core_.listener() != nullptr && core_.listener()->ListenerRunning();
  }
  bool ProbeSent() const override { return core_.flags().probe_sent; }
  bool SelfTestPassed() const override { return core_.flags().selftest_passed; }
  uint16_t Port() const override { return core_.Port(); }
  bool RetryDatabase() override { return core_.RetryDatabase(); }
  bool DatabaseOpen() const override { return core_.DatabaseOpen(); }

 private:
  app::ServerCore& core_;
};

}  // namespace kt::ui
