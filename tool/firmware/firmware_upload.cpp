#include "tool/firmware/firmware_upload.h"


#include "common/net/udp_socket.h"

namespace kt::firmware {

std::unique_ptr<FirmwareUpload> FirmwareUpload::Start(UploadRequest request, UploadOptions options,
                                                      EventHandler handler) {
  std::unique_ptr<FirmwareUpload> u(new FirmwareUpload(std::move(request), std::move(options), std::move(handler)));
  u->thread_ = std::thread([p = u.get()] { p->Run(); });
  return u;
}

FirmwareUpload::FirmwareUpload(UploadRequest request, UploadOptions options, EventHandler handler)
    : request_(std::move(request)),
      options_(std::move(options)),
      handler_(std::move(handler)) {}

FirmwareUpload::~FirmwareUpload() {
  Cancel();
  if (thread_.joinable()) thread_.join();
}

void FirmwareUpload::Cancel() {
  {
    std::scoped_lock lock(mutex_);
    if (cancelled_ || result_) return;
    cancelled_ = true;
  }
  cancel_.Signal();
}

UploadResult FirmwareUpload::Wait() {
  std::unique_lock lock(mutex_);
  done_.wait(lock, [&] { return result_.has_value(); });
  return *result_;
}

bool FirmwareUpload::finished() const {
  std::scoped_lock lock(mutex_);
  return result_.has_value();
}

std::optional<UploadResult> FirmwareUpload::result() const {
  std::scoped_lock lock(mutex_);
  return result_;
}

void FirmwareUpload::Emit(const UploadEvent& e) {
  {
    std::scoped_lock lock(mutex_);
    if (cancelled_) return;
  }
  if (handler_) handler_(e);
}

void FirmwareUpload::Run() {
  if (options_.pin_address) {
    UploadEvent arp;
    arp.kind = UploadEvent::Kind::kArpEntry;
    arp.arp = PinTerminalAddress(request_.ip, request_.mac);
    arp.text = arp.arp.detail;
    Emit(arp);
  }
  UploadEvent status;
  status.kind = UploadEvent::Kind::kStatus;
  status.text = kStatusUploading;
  Emit(status);

  TftpPut put;
  put.client = options_.client;
  put.host = net::FormatIpv4(request_.ip);
  put.port = options_.tftp_port;
  put.file = request_.file;
  put.limit = options_.limit;
  const TftpOutcome outcome = RunTftpPut(
      put,
      [this](std::string_view line) {
        UploadEvent e;
        e.kind = UploadEvent::Kind::kClientOutput;
        e.text = std::string(line);
        Emit(e);
      },
      cancel_.handle());

  UploadEvent finished;
  finished.kind = UploadEvent::Kind::kFinished;
  finished.result = outcome.result;
  finished.text = ResultStatusLine(outcome.result);
  finished.system_text = outcome.system_text;
  Emit(finished);
  {
    std::scoped_lock lock(mutex_);
    result_ = outcome.result;  // a cancelled client gives kFatal already
  }
  done_.notify_all();
}

}  // namespace kt::firmware
