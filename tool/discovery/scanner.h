// One discovery scan: broadcast the 7-byte request, collect the replies for the countdown's
// time, and keep the device table and the device list up to date as they arrive.
//
// Run() is the scan worker: it sets the socket up, starts the receiving thread (which only copies
// datagrams into PendingReplies), sends the request twice at once and then once per pass, and
// processes the slots between passes. New terminals are appended; a known terminal that answers
// from a new address has its list line moved to the end with the new address; repeats change
// nothing. Run returns when a stop is requested: by RequestStop(), or by the countdown reaching
// its end (Tick()).
//
// Thread safety: Run() on one thread at a time; RequestStop(), Tick(), SetCountdown() and the
// getters from any thread. The observer is called on the thread that runs Run(), except that
// OnStatus also comes from Run's own ticker thread when ScanOptions::own_ticker is set.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "common/net/udp_socket.h"
#include "tool/config/record_header.h"
#include "tool/discovery/device_table.h"

namespace kt::discovery {

inline constexpr const char* kStatusIdle = "Status: Idle";
inline constexpr int kCountdownStart = 15;

struct ScanOptions {
  uint32_t bind_address = net::kAnyAddress;  // adapter address; 0.0.0.0 = any
  uint16_t bind_port = 0;                    // 0 = the system chooses
  net::UdpEndpoint destination{net::kLimitedBroadcast, config::kTerminalPort};
  // Interfaces (indexes) that each get their own copy of every request. A limited broadcast from
  // a socket bound to 0.0.0.0 otherwise leaves by the default route's interface only, and the
  // terminals on the PC's other LANs never hear it. Empty: one plain send.
  std::vector<unsigned> send_interfaces;
  int countdown_seconds = kCountdownStart;
  // Run ticks the countdown itself once a second; a window that drives Tick() from its own
  // timer turns this off.
  bool own_ticker = true;
  std::chrono::milliseconds pass_pause{1000};
};

// What the scan worker tells the window (or kx25ctl) as it goes. Default: ignore.
class ScanObserver {
 public:
  virtual ~ScanObserver() = default;
  virtual void OnStatus(const std::string& /*text*/) {}
  virtual void OnLineAdded(const std::string& /*line*/, const DeviceEntry& /*entry*/) {}
  virtual void OnLineRemoved(const std::string& /*line*/) {}
  // The first request could not be sent whole (box "An error has occurred..."); the scan goes on.
  virtual void OnSendError(const std::string& /*system_text*/) {}
  // The scan has ended; `found` is the count of new terminals.
  virtual void OnScanEnded(int /*found*/) {}
};

class Scanner {
 public:
  explicit Scanner(DeviceTable& table) : table_(table) {}
  Scanner(const Scanner&) = delete;
  Scanner& operator=(const Scanner&) = delete;

  // Marks a scan as started: clears the device table and the stop request and sets the scanning
  // flag. The window calls it before it starts the worker thread, so that a Stop pressed at once
  // is not lost; Run() calls it itself when no scan was begun.
  void Begin();

  // Runs one scan on the calling thread (Begin() first unless already begun); returns the count
  // of new terminals, or -1 when the socket could not be set up (status "Status: Idle").
  int Run(const ScanOptions& options, ScanObserver& observer);

  void RequestStop();
  bool stop_requested() const { return stop_.load(); }
  bool scanning() const { return scanning_.load(); }

  // The one-second countdown tick: the status "Searching...(N)    Press STOP to interrupt" (or
  // "Aborting..." after a stop request); at the end "Wait..." and a stop request. Returns false
  // once the countdown has ended.
  bool Tick(ScanObserver& observer);
  // A selection in the list during a scan sets the countdown to 1.
  void SetCountdown(int value) { countdown_.store(value); }
  int countdown() const { return countdown_.load(); }

 private:
  void Process(const Slot& slot, ScanObserver& observer, int& found);
  // Sends the request to the destination, once per send interface when there are any; returns
  // the first send's result.
  static Result<std::size_t> SendRequest(net::UdpSocket& socket, const ScanOptions& o,
                                         std::span<const std::byte> request);
  // Waits up to `d` or until a stop is requested.
  void Pause(std::chrono::milliseconds d);

  DeviceTable& table_;
  // Flags written by one thread and polled by another; atomics, no lock.
  std::atomic<bool> scanning_{false};
  std::atomic<bool> stop_{false};
  std::atomic<int> countdown_{kCountdownStart};
  std::atomic<bool> countdown_ended_{false};
  std::mutex wake_mutex_;
  std::condition_variable wake_;  // lets a stop cut a pause short
};

}  // namespace kt::discovery
