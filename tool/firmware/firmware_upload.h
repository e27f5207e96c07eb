// A firmware upload that runs beside the caller: the static ARP entry for the terminal, then the
// TFTP client (tftp_client.h) with its time limit, reported as events.
//
//   auto upload = FirmwareUpload::Start(request, options, [this](const UploadEvent& e) {
//     // called on the upload's own thread: post it to the window's thread
//   });
//
// Events, in order: one kArpEntry (what was done about the ARP entry; a warning when it could not
// be set, the upload goes on), one kStatus with "Status: Uploading firmware", any number of
// kClientOutput lines, and last one kFinished with the result. Start() never blocks: it returns at
// once and the caller's thread stays free (a window stays responsive).
//
// The flash-size check (flash_size.h) comes before Start(); the rescan after a success is the
// caller's (upload_result.h gives the pause).
//
// Thread safety: the handler runs on the upload's thread, one event at a time; it must not
// destroy the FirmwareUpload. Cancel(), Wait(), finished() and result() may be called from any
// thread. Destroying a running upload cancels it (the client is ended) and waits for the thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "common/platform/wake/wake_event.h"
#include "tool/config/configuration.h"
#include "tool/firmware/static_arp.h"
#include "tool/firmware/tftp_client.h"
#include "tool/firmware/upload_result.h"

namespace kt::firmware {

struct UploadRequest {
  uint32_t ip = 0;     // the terminal's address, host order
  config::Mac mac{};   // its MAC, for the static ARP entry
  std::string file;    // the firmware image
};

struct UploadOptions {
  std::string client = kDefaultTftpClient;
  uint16_t tftp_port = 0;  // 0: the TFTP port
  std::chrono::milliseconds limit = kUploadLimit;
  bool pin_address = true;  // make the static ARP entry first
};

struct UploadEvent {
  enum class Kind { kArpEntry, kStatus, kClientOutput, kFinished };
  Kind kind = Kind::kStatus;
  // kArpEntry: ArpEntryResult::detail; kStatus: the status line; kClientOutput: one line of the
  // client's output; kFinished: ResultStatusLine(result).
  std::string text;
  ArpEntryResult arp;                        // kArpEntry only
  UploadResult result = UploadResult::kFatal;  // kFinished only
  std::string system_text;                   // kFinished with kStartFailed: the system's text
};

class FirmwareUpload {
 public:
  using EventHandler = std::function<void(const UploadEvent&)>;

  // Starts the upload on a thread of its own and returns at once.
  static std::unique_ptr<FirmwareUpload> Start(UploadRequest request, UploadOptions options,
                                               EventHandler handler);
  ~FirmwareUpload();
  FirmwareUpload(const FirmwareUpload&) = delete;
  FirmwareUpload& operator=(const FirmwareUpload&) = delete;

  // Ends the client (if running) and stops delivering events; the result becomes kFatal unless
  // the upload had already finished. Returns at once.
  void Cancel();

  // Blocks until the upload has finished (or was cancelled) and returns its result.
  UploadResult Wait();
  bool finished() const;
  std::optional<UploadResult> result() const;

 private:
  FirmwareUpload(UploadRequest request, UploadOptions options, EventHandler handler);
  void Run();
  void Emit(const UploadEvent& e);

  const UploadRequest request_;
  const UploadOptions options_;
  const EventHandler handler_;
  platform::WakeEvent cancel_;  // signalled once Cancel() was called

  mutable std::mutex mutex_;
  std::condition_variable done_;
  // State below is protected by mutex_.
  bool cancelled_ = false;
  std::optional<UploadResult> result_;

  std::thread thread_;  // last: started once everything above exists
};

}  // namespace kt::firmware
