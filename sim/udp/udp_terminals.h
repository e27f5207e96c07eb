// Simulated KX25 terminals on UDP: they answer discovery (command 0) with their configuration
// record, answer the long-message (4) and wireless (7) requests when their firmware has those
// records, and apply commands 2, 3, 6 and 9 to their state after checking size and checksum, so
// that the next discovery shows the change. Every command received is logged.
//
// One socket serves all terminals; each terminal answers with its own datagram. Replies go back
// to the sender's address, or to 255.255.255.255 at the sender's port when reply_broadcast is set
// (as terminals that answer by broadcast do).
//
// Thread safety: the public methods may be called from any thread while the simulator runs.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "common/net/udp_socket.h"
#include "common/status.h"
#include "tool/config/configuration.h"

namespace kt::sim {

struct UdpTerminalOptions {
  int count = 1;
  uint32_t listen_address = 0x7F000001;  // 127.0.0.1
  uint16_t listen_port = 10004;          // 0 = an ephemeral port (tests)
  std::string firmware = "03.10";
  uint16_t record_version = 2;
  std::string name_prefix = "KX25-";
  uint32_t first_ip = 0x0A010001;  // 10.1.0.1; terminal i gets first_ip + i
  uint32_t first_mac = 0x000001;   // low three MAC bytes of terminal 0; prefix 02:4B:58
  bool reply_broadcast = false;
  // Non-zero: the terminals are configured as TCP server on this port (the simulated TCP-server
  // terminal's), so the tool's TCP terminal can connect; zero: TCP clients of port 9101.
  uint16_t tcp_server_port = 0;
  // How long the terminals take before answering a discovery request.
  std::chrono::milliseconds reply_delay{0};
  // Receives one line per command handled; may be called from the simulator's thread.
  std::function<void(const std::string&)> log;
};

struct ReceivedCommand {
  config::Mac mac{};  // the addressed terminal (zero for discovery)
  uint8_t command = 0;
  std::size_t size = 0;
  bool applied = false;  // passed the size and checksum checks and changed the state
};

class UdpTerminals {
 public:
  static Result<std::unique_ptr<UdpTerminals>> Start(const UdpTerminalOptions& options);
  ~UdpTerminals();
  UdpTerminals(const UdpTerminals&) = delete;
  UdpTerminals& operator=(const UdpTerminals&) = delete;

  net::UdpEndpoint endpoint() const { return endpoint_; }
  config::Mac MacOf(int index) const;

  // Copies of a terminal's state: the 287-byte configuration record (network order, command 1),
  // the 398-byte long-message record and the 362-byte wireless record.
  std::vector<std::byte> Record(int index) const;
  std::vector<std::byte> LongMessages(int index) const;
  std::vector<std::byte> Wireless(int index) const;
  // Changes a terminal's state in place (e.g. a new current address after a lease renewal).
  void EditRecord(int index, const std::function<void(std::vector<std::byte>&)>& edit);
  void EditLongMessages(int index, const std::function<void(std::vector<std::byte>&)>& edit);
  void EditWireless(int index, const std::function<void(std::vector<std::byte>&)>& edit);
  // Makes a terminal's replies to requests with `command` (4 or 7) get lost on the way, as on a
  // busy network; `lost` false lets them through again.
  void LoseReplies(int index, uint8_t command, bool lost = true);

  std::vector<ReceivedCommand> Received() const;
  // Returns once every datagram that reached the terminals before the call has been handled:
  // the tools send their writes without waiting for an answer, so a test that reads a record
  // after a tool ended first waits here. An empty datagram, answered by an empty one, marks the
  // place in the queue.
  Status Flush(std::chrono::milliseconds limit = std::chrono::seconds(5));

  void Stop();

 private:
  struct Terminal {
    std::vector<std::byte> record, long_messages, wireless;
    uint32_t lost_replies = 0;  // bit per request command whose reply is lost
  };
  explicit UdpTerminals(const UdpTerminalOptions& o) : options_(o) {}
  void Run(std::stop_token stop);
  void Handle(std::span<const std::byte> d, const net::UdpEndpoint& from);
  void Reply(const net::UdpEndpoint& from, std::span<const std::byte> d);
  Terminal* Find(const config::Mac& mac);  // REQUIRES: mutex_ held
  void Log(const std::string& line);

  const UdpTerminalOptions options_;
  net::UdpSocket socket_;
  net::UdpEndpoint endpoint_;
  std::jthread thread_;  // its stop token is polled by the serving thread between receives

  mutable std::mutex mutex_;
  // State below is protected by mutex_.
  std::vector<Terminal> terminals_;
  std::vector<ReceivedCommand> received_;
};

}  // namespace kt::sim

int RunUdpTerminals(int argc, char** argv);
