#include "tool/config/exchange.h"

#include <atomic>
#include <deque>
#include <mutex>
#include <thread>

#include "tool/config/config_record.h"

namespace kt::config {
namespace {

constexpr int kReceiveBufferBytes = 0x100000;
constexpr std::chrono::milliseconds kReceiveTimeout{1000};

// Datagrams a fetch's receiver thread has read, waiting for the requesting side.
class DatagramStore {
 public:
  void Push(std::vector<std::byte> d) {
    std::scoped_lock lock(mutex_);
    items_.push_back(std::move(d));
  }
  std::optional<std::vector<std::byte>> Pop() {
    std::scoped_lock lock(mutex_);
    if (items_.empty()) return std::nullopt;
    std::vector<std::byte> d = std::move(items_.front());
    items_.pop_front();
    return d;
  }

 private:
  std::mutex mutex_;
  // State below is protected by mutex_.
  std::deque<std::vector<std::byte>> items_;
};

// One request/reply exchange: sends `request` up to 1 + rounds times and hands each stored
// datagram to `accept` until it returns true.
template <typename Accept>
bool RunFetch(const ExchangeOptions& o, std::span<const std::byte> request,
              std::size_t receive_size, ExchangeErrors& errors, Accept accept) {
  Result<net::UdpSocket> opened = OpenExchangeSocket(o, kReceiveBufferBytes);
  if (!opened.ok()) {
    errors.ShowError(opened.status().message());
    return false;
  }
  net::UdpSocket& socket = *opened;
  DatagramStore store;
  std::atomic<bool> active{true};  // polled by the receiver between reads; no lock needed
  std::thread receiver([&] {
    std::vector<std::byte> buffer(receive_size);
    while (active.load()) {
      Result<net::ReceivedDatagram> got = socket.Receive(buffer);
      if (!got.ok() || got->length == 0 || got->truncated) continue;
      store.Push({buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(got->length)});
    }
  });
  auto finish = [&] {
    active.store(false);
    socket.Shutdown();  // wake the receiver instead of waiting out its time-out
    receiver.join();
  };

  Result<std::size_t> sent = socket.SendTo(o.destination, request);
  if (!sent.ok() || *sent != request.size()) {
    errors.ShowError(sent.ok() ? "request sent incompletely" : sent.status().message());
    finish();
    return false;
  }
  bool accepted = false;
  for (int round = 0; round < o.fetch_rounds && !accepted; ++round) {
    Result<std::size_t> ignored = socket.SendTo(o.destination, request);
    (void)ignored;
    while (!accepted) {
      std::optional<std::vector<std::byte>> d = store.Pop();
      if (!d) break;
      accepted = accept(std::span<const std::byte>(*d));
    }
    if (!accepted) std::this_thread::sleep_for(o.fetch_round_pause);
  }
  finish();
  return accepted;
}

bool Addressed(std::span<const std::byte> d, uint8_t command, const Mac& mac) {
  if (!HasMagic(d) || d.size() < header::kLength) return false;
  const Header h = DecodeHeader(d);
  return h.command == command && h.mac == mac;
}

}  // namespace

Result<net::UdpSocket> OpenExchangeSocket(const ExchangeOptions& o, int receive_buffer) {
  KT_ASSIGN_OR_RETURN(net::UdpSocket socket, net::UdpSocket::Open());
  KT_RETURN_IF_ERROR(socket.BindToAdapter(o.bind_address, o.bind_port));
  KT_RETURN_IF_ERROR(socket.EnableBroadcast());
  if (receive_buffer > 0) {
    Status ignored = socket.SetReceiveBuffer(receive_buffer);  // the system may grant less
    (void)ignored;
  }
  KT_RETURN_IF_ERROR(socket.SetReceiveTimeout(kReceiveTimeout));
  return socket;
}

std::optional<LongMessages> FetchLongMessages(const ExchangeOptions& o, const Mac& mac,
                                              int codepage, ExchangeErrors& errors) {
  const std::vector<std::byte> request = EncodeFetchRequest(kRequestLongMessages, mac);
  std::optional<LongMessages> result;
  RunFetch(o, request, long_message_record::kLengthWithChecksum, errors,
           [&](std::span<const std::byte> d) {
             if (!Addressed(d, kLongMessagesReply, mac)) return false;
             const uint16_t v = DecodeHeader(d).version;
             if (v < 2 || v > 4) return false;
             Result<LongMessages> m = DecodeLongMessages(d, codepage);
             if (!m.ok()) return false;  // too short to hold the lines
             result = std::move(*m);
             return true;
           });
  return result;
}

std::optional<WirelessRecord> FetchWireless(const ExchangeOptions& o, const Mac& mac,
                                            ExchangeErrors& errors) {
  const std::vector<std::byte> request = EncodeFetchRequest(kRequestWireless, mac);
  std::optional<WirelessRecord> result;
  RunFetch(o, request, wireless_record::kLengthWithChecksum, errors,
           [&](std::span<const std::byte> d) {
             if (!Addressed(d, kWirelessReply, mac) || DecodeHeader(d).version != 4) return false;
             Result<WirelessRecord> w = DecodeWirelessRecord(d);
             if (!w.ok()) return false;
             result = std::move(*w);
             return true;
           });
  return result;
}

Configuration CompleteConfiguration(Configuration c, const ExchangeOptions& o,
                                    ExchangeErrors& errors) {
  const int fw = c.firmware_number();
  if (fw >= kFirmwareLongMessages && c.short_line_full) {
    if (auto m = FetchLongMessages(o, c.mac, c.codepage, errors)) TakeLongMessages(c, *m);
  }
  if (fw >= kFirmwareWirelessRecord) {
    if (auto w = FetchWireless(o, c.mac, errors)) TakeWireless(c, *w);
  }
  return c;
}

std::vector<SentDatagram> RunApplySequence(const Configuration& c, const ApplyOptions& a,
                                           DatagramSender& sender, std::chrono::milliseconds pause,
                                           ExchangeErrors& errors) {
  std::vector<SentDatagram> log;
  // A record that was never read would go out filled with defaults and wipe the terminal's
  // values: send nothing at all.
  if (const std::string missing = MissingForApply(c); !missing.empty()) {
    errors.ShowError(missing);
    return log;
  }
  // Sends one datagram, logs it and reports a failure; true when it left whole.
  auto send = [&](Command command, const std::vector<std::byte>& d) {
    Result<std::size_t> n = sender.Send(d);
    const bool complete = n.ok() && *n == d.size();
    log.push_back({command, d.size(), complete});
    if (!complete) errors.ShowError(n.ok() ? "datagram sent incompletely" : n.status().message());
    return complete;
  };

  const int fw = c.firmware_number();
  if (fw >= kFirmwareLongMessages && NeedsLongMessages(c)) {
    // The record's "long messages sent" bit is set whether or not this send succeeds.
    if (send(kSetLongMessages, EncodeLongMessages(c))) std::this_thread::sleep_for(pause);
  }
  if (fw >= kFirmwareWirelessRecord) {
    if (send(kSetWireless, EncodeWirelessRecord(c))) std::this_thread::sleep_for(pause);
  }
  if (a.retail_chain_mode) {
    if (!send(kSetRetalixActivation, EncodeRetalixActivation(c, c.retalix_active))) return log;
    std::this_thread::sleep_for(pause);
  }
  send(kSetConfig, EncodeConfigRecord(c));
  return log;
}

std::vector<SentDatagram> ApplyConfiguration(const Configuration& c, const ApplyOptions& a,
                                             const ExchangeOptions& o, ExchangeErrors& errors) {
  if (const std::string missing = MissingForApply(c); !missing.empty()) {
    errors.ShowError(missing);
    return {};
  }
  Result<net::UdpSocket> opened = OpenExchangeSocket(o, 0);
  if (!opened.ok()) {
    errors.ShowError(opened.status().message());
    return {};
  }
  class SocketSender : public DatagramSender {
   public:
    SocketSender(net::UdpSocket& s, const net::UdpEndpoint& to) : socket_(s), to_(to) {}
    Result<std::size_t> Send(std::span<const std::byte> d) override { return socket_.SendTo(to_, d); }

   private:
    net::UdpSocket& socket_;
    const net::UdpEndpoint to_;
  } sender(*opened, o.destination);
  return RunApplySequence(c, a, sender, o.apply_pause, errors);
}

}  // namespace kt::config
