// Runs a discovery scan on a worker thread and hands its progress to the window's thread: every
// observer call becomes a queued call on `context`, so the window is only ever touched by its
// own thread. Destroying the runner stops a running scan and waits for its thread.
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <string>
#include <thread>

#include "tool/discovery/scanner.h"

namespace kt::ui {

struct ScanCallbacks {
  std::function<void(const QString&)> status;
  std::function<void(const std::string& line, const config::Mac& mac, uint32_t ip)> line_added;
  std::function<void(const std::string& line)> line_removed;
  std::function<void(const QString& system_text)> send_error;
  // Last: the worker has finished (found = new terminals, -1 when the socket failed).
  std::function<void(int found)> finished;
};

class ScanRunner {
 public:
  explicit ScanRunner(discovery::DeviceTable& table) : scanner_(table) {}
  ~ScanRunner();
  ScanRunner(const ScanRunner&) = delete;
  ScanRunner& operator=(const ScanRunner&) = delete;

  // Clears the device table and starts the worker. REQUIRES: no scan runs (running() is false).
  void Start(const discovery::ScanOptions& options, QObject* context, ScanCallbacks callbacks);
  void RequestStop() { scanner_.RequestStop(); }
  bool stop_requested() const { return scanner_.stop_requested(); }
  // The scan ends at the countdown's next tick.
  void EndAtNextTick() { scanner_.SetCountdown(1); }
  // Whether the worker thread exists and has not been waited for.
  bool running() const { return thread_.joinable(); }
  // Waits for the worker thread to end (it ends within about a second of a stop request).
  void Wait();

 private:
  discovery::Scanner scanner_;
  std::thread thread_;
};

}  // namespace kt::ui
