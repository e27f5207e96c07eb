#include "sim/udp/udp_terminals.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "common/coding.h"
#include "tool/config/config_record.h"
#include "tool/config/long_message_record.h"
#include "tool/config/record_header.h"
#include "tool/config/wireless_record.h"

namespace kt::sim {
namespace {

namespace cr = config::config_record;
namespace lr = config::long_message_record;
namespace wr = config::wireless_record;
namespace hd = config::header;

void PutText(std::vector<std::byte>& r, std::size_t off, std::size_t width, const std::string& s) {
  std::memcpy(r.data() + off, s.data(), std::min(width, s.size()));
}

void PutLine(std::vector<std::byte>& r, std::size_t off, std::size_t text_width, const std::string& s,
             uint8_t x, uint8_t y, uint8_t align) {
  PutText(r, off, text_width, s);
  r[off + text_width + 1] = std::byte{x};
  r[off + text_width + 2] = std::byte{y};
  r[off + text_width + 3] = std::byte{align};
}

void PutHeader(std::vector<std::byte>& r, uint16_t version, uint8_t command, const config::Mac& mac) {
  std::memcpy(r.data(), "KVMP", 4);
  EncodeFixedBE16(r.data() + hd::kVersion, version);
  r[hd::kCommand] = std::byte{command};
  std::memcpy(r.data() + hd::kMac, mac.data(), 6);
}

config::Mac MacFor(const UdpTerminalOptions& o, int i) {
  const uint32_t low = o.first_mac + static_cast<uint32_t>(i);
  return {0x02, 0x4B, 0x58, static_cast<uint8_t>(low >> 16), static_cast<uint8_t>(low >> 8),
          static_cast<uint8_t>(low)};
}

std::vector<std::byte> InitialRecord(const UdpTerminalOptions& o, int i) {
  std::vector<std::byte> r(cr::kLength, std::byte{0});
  PutHeader(r, o.record_version, config::kDiscoveryReply, MacFor(o, i));
  r[hd::kByte7] = std::byte{50};  // 500 ms between scans
  EncodeFixedBE16(r.data() + cr::kBaud2, 9600);
  r[cr::kSerial2] = std::byte{0x29};
  r[cr::kDisplayFlags] = std::byte{0x50};  // speed 50 %
  r[cr::kVolume] = std::byte{79};          // 80 %
  const uint32_t ip = o.first_ip + static_cast<uint32_t>(i);
  EncodeFixedBE32(r.data() + cr::kIpAddress, ip);
  EncodeFixedBE32(r.data() + cr::kCurrentIp, ip);
  EncodeFixedBE32(r.data() + cr::kSubnetMask, 0xFFFF0000);
  EncodeFixedBE32(r.data() + cr::kGateway, (o.first_ip & 0xFFFF0000) | 0xFFFE);
  r[cr::kOptions] = std::byte{0x00};
  PutText(r, cr::kFirmwareVersion, cr::kFirmwareVersionLength, o.firmware);
  PutText(r, cr::kFirmwareDate, cr::kFirmwareDateLength, "2011-05-17");
  r[cr::kActiveInterface] = std::byte{1};
  PutLine(r, cr::kLines + 0 * cr::kLineLength, cr::kLineTextLength, "Welcome", 0, 0, 4);
  PutLine(r, cr::kLines + 1 * cr::kLineLength, cr::kLineTextLength, "Scan a barcode", 0, 10, 4);
  PutLine(r, cr::kLines + 3 * cr::kLineLength, cr::kLineTextLength, "Item not found", 0, 0, 4);
  if (config::HasOfflineLine(o.record_version)) {
    PutLine(r, cr::kOfflineOrRetalix, cr::kLineTextLength, "Offline", 0, 20, 4);
  } else if (config::HasRetalixBlock(o.record_version)) {
    r[cr::kPosStation] = std::byte{1};
    r[cr::kMfsStation] = std::byte{2};
    EncodeFixedBE16(r.data() + cr::kRoundOff, 10);
    PutText(r, cr::kCurrency, cr::kCurrencyLength, "EUR");
    r[cr::kDecimals] = std::byte{2};
  }
  r[cr::kChannelCodepage] = std::byte{static_cast<uint8_t>(6 | (1 << 5))};  // channel 6, cp 1252
  r[cr::kHardware] = std::byte{0x04};
  char name[32];
  std::snprintf(name, sizeof name, "%04d", i + 1);
  PutText(r, cr::kDeviceName, cr::kDeviceNameLength, o.name_prefix + name);
  PutText(r, cr::kSsid, cr::kSsidLength, "shopfloor");
  EncodeFixedBE16(r.data() + cr::kBaud1, 9600);
  r[cr::kSerial1] = std::byte{0x2C};
  r[cr::kConnectFlags] = std::byte{0x08};  // TCP client, CR
  EncodeFixedBE32(r.data() + cr::kRemoteIp, (o.first_ip & 0xFFFF0000) | 0xFFFD);
  EncodeFixedBE16(r.data() + cr::kTcpPort, 9101);
  if (o.tcp_server_port != 0) {
    r[cr::kConnectFlags] = std::byte{0x08 | 0x40};  // TCP server, CR
    EncodeFixedBE16(r.data() + cr::kTcpPort, o.tcp_server_port);
  }
  EncodeFixedBE16(r.data() + cr::kUdpPort, 9102);
  r[cr::kTimeouts] = std::byte{0x35};
  return r;
}

std::vector<std::byte> InitialLongMessages(const std::vector<std::byte>& record) {
  std::vector<std::byte> r(lr::kLength, std::byte{0});
  // Start from the short lines, as a terminal would after a plain command 2.
  for (int i = 0; i < 6; ++i) {
    const std::size_t from = cr::kLines + i * cr::kLineLength;
    const std::size_t to = lr::kLines + i * lr::kLineLength;
    std::memcpy(r.data() + to, record.data() + from, cr::kLineTextLength);
    std::memcpy(r.data() + to + lr::kLineTextLength, record.data() + from + cr::kLineTextLength, 4);
  }
  return r;
}

std::vector<std::byte> InitialWireless() {
  std::vector<std::byte> r(wr::kLength, std::byte{0});
  PutText(r, wr::kSsid, wr::kSsidLength, "shopfloor");
  r[wr::kAuthentication] = std::byte{1};
  r[wr::kChannel] = std::byte{6};
  EncodeFixedBE32(r.data() + wr::kStreamMask, 0x00FF);
  r[wr::kMode80211] = std::byte{11};
  r[wr::kCipher] = std::byte{2};
  r[wr::kInnerAuth] = std::byte{4};
  r[wr::kEapType] = std::byte{25};
  r[wr::kWpaMode] = std::byte{2};
  return r;
}

bool ChecksumOk(std::span<const std::byte> d) {
  return !d.empty() && config::Checksum(d.first(d.size() - 1)) == static_cast<uint8_t>(d.back());
}

}  // namespace

Result<std::unique_ptr<UdpTerminals>> UdpTerminals::Start(const UdpTerminalOptions& o) {
  if (o.count < 0 || o.count > 0xFFFFFF) return Status::InvalidArgument("terminal count out of range");
  std::unique_ptr<UdpTerminals> sim(new UdpTerminals(o));
  KT_ASSIGN_OR_RETURN(sim->socket_, net::UdpSocket::Open());
  // Bound like the tool binds: a unicast listen address still hears broadcasts on its
  // interface, and broadcast replies leave through that interface.
  KT_RETURN_IF_ERROR(sim->socket_.BindToAdapter(o.listen_address, o.listen_port));
  KT_RETURN_IF_ERROR(sim->socket_.EnableBroadcast());
  Status ignored = sim->socket_.SetReceiveBuffer(1 << 20);
  (void)ignored;
  KT_RETURN_IF_ERROR(sim->socket_.SetReceiveTimeout(std::chrono::milliseconds(200)));
  KT_ASSIGN_OR_RETURN(sim->endpoint_, sim->socket_.LocalEndpoint());
  if (sim->endpoint_.address == net::kAnyAddress) sim->endpoint_.address = o.listen_address;
  for (int i = 0; i < o.count; ++i) {
    Terminal t;
    t.record = InitialRecord(o, i);
    t.long_messages = InitialLongMessages(t.record);
    PutHeader(t.long_messages, o.record_version, config::kLongMessagesReply, MacFor(o, i));
    t.wireless = InitialWireless();
    PutHeader(t.wireless, 4, config::kWirelessReply, MacFor(o, i));
    sim->terminals_.push_back(std::move(t));
  }
  sim->thread_ = std::jthread([s = sim.get()](std::stop_token stop) { s->Run(stop); });
  return sim;
}

UdpTerminals::~UdpTerminals() { Stop(); }

void UdpTerminals::Stop() {
  thread_.request_stop();
  socket_.Shutdown();  // ends a receive wait at once
  if (thread_.joinable()) thread_.join();
}

config::Mac UdpTerminals::MacOf(int index) const { return MacFor(options_, index); }

std::vector<std::byte> UdpTerminals::Record(int index) const {
  std::scoped_lock lock(mutex_);
  return terminals_.at(index).record;
}
std::vector<std::byte> UdpTerminals::LongMessages(int index) const {
  std::scoped_lock lock(mutex_);
  return terminals_.at(index).long_messages;
}
std::vector<std::byte> UdpTerminals::Wireless(int index) const {
  std::scoped_lock lock(mutex_);
  return terminals_.at(index).wireless;
}
void UdpTerminals::EditRecord(int index, const std::function<void(std::vector<std::byte>&)>& edit) {
  std::scoped_lock lock(mutex_);
  edit(terminals_.at(index).record);
}
void UdpTerminals::EditLongMessages(int index,
                                    const std::function<void(std::vector<std::byte>&)>& edit) {
  std::scoped_lock lock(mutex_);
  edit(terminals_.at(index).long_messages);
}
void UdpTerminals::EditWireless(int index, const std::function<void(std::vector<std::byte>&)>& edit) {
  std::scoped_lock lock(mutex_);
  edit(terminals_.at(index).wireless);
}
void UdpTerminals::LoseReplies(int index, uint8_t command, bool lost) {
  std::scoped_lock lock(mutex_);
  uint32_t& bits = terminals_.at(index).lost_replies;
  bits = lost ? (bits | (1u << (command & 31))) : (bits & ~(1u << (command & 31)));
}
std::vector<ReceivedCommand> UdpTerminals::Received() const {
  std::scoped_lock lock(mutex_);
  return received_;
}

void UdpTerminals::Log(const std::string& line) {
  if (options_.log) options_.log(line);
}

void UdpTerminals::Run(std::stop_token stop) {
  // One byte more than the largest command, so an oversized datagram shows as such.
  std::vector<std::byte> buffer(1024);
  while (!stop.stop_requested()) {
    Result<net::ReceivedDatagram> got = socket_.Receive(buffer);
    if (!got.ok()) continue;
    if (got->length == 0) {  // a Flush marker: everything before it was handled
      Reply(got->sender, {});
      continue;
    }
    if (got->truncated) {
      Log("ignored an oversized datagram");
      continue;
    }
    Handle(std::span<const std::byte>(buffer.data(), got->length), got->sender);
  }
}

Status UdpTerminals::Flush(std::chrono::milliseconds limit) {
  KT_ASSIGN_OR_RETURN(net::UdpSocket marker, net::UdpSocket::Open());
  KT_RETURN_IF_ERROR(marker.Bind(0x7F000001, 0));
  KT_RETURN_IF_ERROR(marker.SetReceiveTimeout(limit));
  net::UdpEndpoint to = endpoint_;
  if (to.address == 0) to.address = 0x7F000001;
  KT_RETURN_IF_ERROR(marker.SendTo(to, {}).status());
  std::array<std::byte, 16> buffer;
  KT_RETURN_IF_ERROR(marker.Receive(buffer).status());
  return Status::Ok();
}

void UdpTerminals::Reply(const net::UdpEndpoint& from, std::span<const std::byte> d) {
  net::UdpEndpoint to = from;
  if (options_.reply_broadcast) to.address = net::kLimitedBroadcast;
  Result<std::size_t> ignored = socket_.SendTo(to, d);
  (void)ignored;
}

UdpTerminals::Terminal* UdpTerminals::Find(const config::Mac& mac) {
  for (Terminal& t : terminals_) {
    if (std::memcmp(t.record.data() + hd::kMac, mac.data(), 6) == 0) return &t;
  }
  return nullptr;
}

void UdpTerminals::Handle(std::span<const std::byte> d, const net::UdpEndpoint& from) {
  if (!config::HasMagic(d)) return;
  const config::Header h = config::DecodeHeader(d);
  if (h.command == config::kDiscoveryRequest) {
    std::vector<std::vector<std::byte>> replies;
    {
      std::scoped_lock lock(mutex_);
      received_.push_back({{}, h.command, d.size(), true});
      for (const Terminal& t : terminals_) replies.push_back(t.record);
    }
    Log("discovery request from " + net::FormatIpv4(from.address) + ":" + std::to_string(from.port) +
        ": " + std::to_string(replies.size()) + " replies");
    if (options_.reply_delay.count() > 0) std::this_thread::sleep_for(options_.reply_delay);
    for (const auto& r : replies) Reply(from, r);
    return;
  }
  if (d.size() < hd::kLength) return;  // every other command names a terminal

  std::vector<std::byte> reply;
  std::string outcome;
  bool applied = false;
  {
    std::scoped_lock lock(mutex_);
    Terminal* t = Find(h.mac);
    if (!t) return;  // addressed to another terminal
    const int fw = config::FirmwareNumber(
        std::string(reinterpret_cast<const char*>(t->record.data() + cr::kFirmwareVersion),
                    cr::kFirmwareVersionLength));
    const bool with_sum = fw >= config::kFirmwareWirelessRecord;
    switch (h.command) {
      case config::kRequestLongMessages:
        if (fw >= config::kFirmwareLongMessages) reply = t->long_messages;
        outcome = reply.empty() ? "not supported by this firmware" : "answered";
        break;
      case config::kRequestWireless:
        if (fw >= config::kFirmwareWirelessRecord) {
          reply = t->wireless;
          config::AppendChecksum(reply);
        }
        outcome = reply.empty() ? "not supported by this firmware" : "answered";
        break;
      case config::kSetConfig: {
        const std::size_t want = with_sum ? cr::kLengthWithChecksum : cr::kLength;
        if (d.size() != want) { outcome = "rejected: size, want " + std::to_string(want); break; }
        if (with_sum && !ChecksumOk(d)) { outcome = "rejected: checksum"; break; }
        std::vector<std::byte>& r = t->record;
        const std::vector<std::byte> old = r;
        std::memcpy(r.data(), d.data(), cr::kLength);
        // What the terminal owns itself stays: version, firmware, interface, hardware.
        std::memcpy(r.data() + hd::kVersion, old.data() + hd::kVersion, 2);
        r[hd::kCommand] = std::byte{config::kDiscoveryReply};
        r[cr::kRetalixActive] = old[cr::kRetalixActive];
        std::memcpy(r.data() + cr::kFirmwareVersion, old.data() + cr::kFirmwareVersion, 15);
        r[cr::kActiveInterface] = old[cr::kActiveInterface];
        r[cr::kHardware] = old[cr::kHardware];
        r[cr::kDisplayFlags] &= std::byte{0xF0};
        // A fixed address takes effect at once; with DHCP the lease keeps the current one.
        const bool dhcp = (static_cast<uint8_t>(r[cr::kOptions]) & 0x01) != 0;
        std::memcpy(r.data() + cr::kCurrentIp,
                    (dhcp ? old.data() + cr::kCurrentIp : r.data() + cr::kIpAddress), 4);
        applied = true;
        outcome = "applied";
        break;
      }
      case config::kSetRetalixActivation:
        if (d.size() != 15) { outcome = "rejected: size, want 15"; break; }
        t->record[cr::kRetalixActive] = d[14];
        applied = true;
        outcome = "applied";
        break;
      case config::kSetLongMessages: {
        const std::size_t want = with_sum ? lr::kLengthWithChecksum : lr::kLength;
        if (d.size() != want) { outcome = "rejected: size, want " + std::to_string(want); break; }
        if (with_sum && !ChecksumOk(d)) { outcome = "rejected: checksum"; break; }
        std::memcpy(t->long_messages.data() + lr::kLines, d.data() + lr::kLines,
                    lr::kLength - lr::kLines);
        applied = true;
        outcome = "applied";
        break;
      }
      case config::kSetWireless:
        if (d.size() != wr::kLengthWithChecksum) { outcome = "rejected: size, want 363"; break; }
        if (!ChecksumOk(d)) { outcome = "rejected: checksum"; break; }
        std::memcpy(t->wireless.data() + hd::kLength, d.data() + hd::kLength,
                    wr::kLength - hd::kLength);
        applied = true;
        outcome = "applied";
        break;
      default:
        return;
    }
    if (!reply.empty() && (t->lost_replies & (1u << (h.command & 31)))) {
      reply.clear();
      outcome = "reply lost";
    }
    received_.push_back({h.mac, h.command, d.size(), applied});
  }
  Log(config::FormatMac(h.mac, ':') + ": command " + std::to_string(h.command) + ", " +
      std::to_string(d.size()) + " bytes: " + outcome);
  if (!reply.empty()) Reply(from, reply);
}

}  // namespace kt::sim
