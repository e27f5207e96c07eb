#include "server/ui/listener_control.h"

#include <thread>

#include "server/data/global_variable.h"
#include "server/net/echo_client.h"

namespace kt::ui {

ListenerControl::ListenerControl(data::GLOBALVARIABLE& globals, net::ServerFlags& flags, net::LogSink& sink,
                                 net::ScanHandlerFactory factory)
    : globals_(globals), flags_(flags), sink_(sink), factory_(std::move(factory)) {}

ListenerControl::~ListenerControl() { Stop(); }

void ListenerControl::StartServer() {
  if (listener_ == nullptr) {
    net::ListenerOptions options;
    options.port = globals_.WCONFIGPORT();
    options.timeout = std::chrono::milliseconds(10000);
    listener_ = std::make_unique<net::KTECHOSERVERTCP>(options, flags_, sink_, factory_,
                                                        globals_.CRANDOMTESTFIREWALL());
  }
  // Returns once the thread has tried to bind; a failed bind is tried again here next time.
  listener_->LISTEN();

  if (flags_.selftest_passed) return;
  net::KTECHOCLIENT client(flags_);
  client.SENDCONNECT(Port(), globals_.CRANDOMTESTFIREWALL());
  // The verdict comes from the listener thread within a moment on a healthy machine; waiting
  // for it keeps the window from showing a blocking text that would vanish at once.
  if (!Listening()) return;
  const auto end = std::chrono::steady_clock::now() + kVerdictWait;
  while (!flags_.selftest_passed && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

bool ListenerControl::Listening() const { return listener_ != nullptr && listener_->ListenerRunning(); }

uint16_t ListenerControl::Port() const {
  // A listener asked for port 0 (tests) tells the port it got.
  if (listener_ != nullptr && listener_->SERVERPORT() != 0) return listener_->SERVERPORT();
  return globals_.WCONFIGPORT();
}

void ListenerControl::Stop() {
  if (listener_ != nullptr) listener_->Stop();
}

}  // namespace kt::ui
