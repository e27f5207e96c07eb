#include "server/app/server_core.h"

#include <thread>

#include "server/app/lookup_scan_handler.h"
#include "common/net/server_port.h"
#include "server/data/database.h"
#include "server/data/settings_table.h"
#include "server/errlog/startup_checks.h"
#include "server/net/echo_client.h"
#include "server/net/random_text.h"

namespace kt::app {

ServerCore::ServerCore(CoreOptions options, EventSink& sink)
    : options_(std::move(options)), sink_(sink) {}

ServerCore::~ServerCore() { Stop(); }

Status ServerCore::Start() {
  errlog::RaiseOpenFileLimit();
  globals_.SetRandomTestFirewall(net::MakeRandomText(18, 'A', 'Z'));
  KT_RETURN_IF_ERROR(data::LoadSettings(options_.workdir, globals_));

  data::ConfigValues stored = globals_.StoredConfig();
  if (stored.WCONFIGPORT == 0) {
    stored.WCONFIGPORT = net::kDefaultServerPort;
    globals_.SetConfig(stored);
  }
  // In force for this run only: the settings table and the settings dialog keep the stored values.
  globals_.SetRunOverrides({options_.port, options_.data_location});

  // Failures are error boxes on the sink; terminals are dropped until a database is open.
  data::DBMAINOPEN(globals_, sink_);
  database_retry_.emplace(globals_, sink_);
  STARTSERVER();
  return Status::Ok();
}

void ServerCore::STARTSERVER() {
  if (!listener_) {
    net::ListenerOptions o;
    o.port = globals_.WCONFIGPORT();
    o.bind_ip = options_.bind_ip;
    o.timeout = kListenerTimeout;
    o.max_sessions = options_.max_sessions;
    o.database_open = [this] { return globals_.IsDatabaseOpen(); };
    listener_ = std::make_unique<net::KTECHOSERVERTCP>(o, flags_, sink_, MakeLookupHandlerFactory(globals_, sink_),
                                                        globals_.CRANDOMTESTFIREWALL());
  }
  listener_->LISTEN();  // returns at once when it runs; retries a failed bind
  if (flags_.selftest_passed) return;
  net::KTECHOCLIENT(flags_).SENDCONNECT(Port(), globals_.CRANDOMTESTFIREWALL());
  if (!listener_->ListenerRunning()) return;
  const auto end = std::chrono::steady_clock::now() + options_.verdict_wait;
  while (!flags_.selftest_passed && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

bool ServerCore::RetryDatabase() { return database_retry_ && database_retry_->Tick(); }

void ServerCore::SERVERCHECK() {
  if (!flags_.selftest_passed) STARTSERVER();
}

std::string ServerCore::RETURNTEXTFIREWALL() const {
  // A listener whose bind failed counts as none: the probe then reached another program.
  const bool listening = listener_ && listener_->ListenerRunning();
  if (flags_.probe_sent && !listening)
    return "Port: " + std::to_string(Port()) + " telah dipakai oleh aplikasi lain !";
  if (!flags_.selftest_passed) return "KT-Vistrand TCP Server anda diblokir oleh Firewall/Antivirus/Malware !";
  return {};
}

void ServerCore::Stop() {
  if (listener_) listener_->Stop();
}

uint16_t ServerCore::Port() const {
  if (listener_ && listener_->SERVERPORT() != 0) return listener_->SERVERPORT();
  return globals_.WCONFIGPORT();
}

}  // namespace kt::app
