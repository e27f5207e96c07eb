// A TFTP receiver for simulated terminals and tests: the real TFTP server of the system
// (in.tftpd from tftpd-hpa) started on a socket this process binds, so any port works, port 0
// included, and nothing races for it.
//
// The server runs the inetd way: the bound socket is its standard input. It is confined to the
// receiver's folder (chroot) and stores a put to the name "/" (what the tool sends) as
// `stored_name`. With allow_create off it refuses every write, as a terminal that rejects an image
// would. It needs root (chroot and its change of user); Start() fails otherwise.
//
// Thread safety: none needed; Stop() (or the destructor) ends the server and its helpers.
#pragma once

#include <memory>
#include <string>

#include "common/net/udp_socket.h"
#include "common/process/child_process.h"
#include "common/status.h"

namespace kt::sim {

struct TftpReceiverOptions {
  uint32_t address = 0x7F000001;  // 127.0.0.1
  uint16_t port = 0;              // 0: any free port
  std::string folder;             // must exist; received files land here
  std::string stored_name = "firmware.bin";
  bool allow_create = true;
  std::string server;  // empty: /usr/sbin/in.tftpd when present, else in.tftpd on PATH
};

class TftpReceiver {
 public:
  static Result<std::unique_ptr<TftpReceiver>> Start(const TftpReceiverOptions& options);
  ~TftpReceiver();
  TftpReceiver(const TftpReceiver&) = delete;
  TftpReceiver& operator=(const TftpReceiver&) = delete;

  net::UdpEndpoint endpoint() const { return endpoint_; }
  // Where a put to "/" is stored.
  std::string stored_path() const { return options_.folder + "/" + options_.stored_name; }
  void Stop() { server_.Terminate(); }

 private:
  explicit TftpReceiver(const TftpReceiverOptions& o) : options_(o) {}

  const TftpReceiverOptions options_;
  net::UdpEndpoint endpoint_;
  std::string map_file_;
  proc::ChildProcess server_;
};

}  // namespace kt::sim
