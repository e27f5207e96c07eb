#include "tool/config/wireless_record.h"

#include <cassert>
#include <cstring>

#include "common/coding.h"
#include "tool/config/record_header.h"
#include "tool/config/text_codec.h"

namespace kt::config {
namespace {
namespace r = wireless_record;

uint8_t U8(std::span<const std::byte> d, std::size_t off) { return static_cast<uint8_t>(d[off]); }
bool Flag16(std::span<const std::byte> d, std::size_t off) {
  return d[off] != std::byte{0} || d[off + 1] != std::byte{0};
}
void PutFlag16(std::span<std::byte> out, std::size_t off, bool on) {
  EncodeFixedBE16(out.data() + off, on ? 1 : 0);
}
void PutAnsi(std::span<std::byte> out, std::size_t off, std::size_t width, const std::string& text,
             std::size_t max_bytes) {
  const std::string bytes = CutBytes(EncodeAnsi(text), std::min(width, max_bytes), false);
  std::memcpy(out.data() + off, bytes.data(), bytes.size());
}

constexpr ListEntry kMode80211[] = {
    {"802.11b only", 1}, {"802.11g only", 2}, {"802.11n only", 8},
    {"Mixed 802.11g and 802.11b", 3}, {"Mixed 802.11n and 802.11g", 10},
    {"Mixed 802.11n, 802.11g and 802.11b", 11}};
constexpr ListEntry kStreamMask[] = {
    {"1 Stream", 0x00FF}, {"2 Streams", 0x7F00}, {"Auto up to MCS14", 0x70FF},
    {"Auto up to MCS14 (2 streams preferred)", 0x7F0F},
    {"Auto up to MCS15 (exclude MCS8-MCS11)", 0xF0FF}, {"Auto up to MCS15", 0xFFFF}};
constexpr ListEntry kTxRate[] = {
    {"Best (automatic)", 0}, {"MCS 15 - 130 [270]", 27}, {"MCS 14 - 117 [243]", 26},
    {"MCS 13 - 104 [216]", 25}, {"MCS 12 - 78 [162]", 24}, {"MCS 11 - 52 [108]", 23},
    {"MCS 10 - 39 [81]", 22}, {"MCS 9 - 26 [54]", 21}, {"MCS 8 - 13 [27]", 20},
    {"MCS 7 - 65 [135]", 19}, {"MCS 6 - 58.5 [121.5]", 18}, {"MCS 5 - 52 [108]", 17},
    {"MCS 4 - 39 [81]", 16}, {"MCS 3 - 26 [54]", 15}, {"MCS 2 - 19.5 [40.5]", 14},
    {"MCS 1 - 13 [27]", 13}, {"MCS 0 - 6.5 [13.5]", 12}, {"54 [108]", 11}, {"48 [96]", 10},
    {"36 [72]", 9}, {"24 [48]", 8}, {"18 [36]", 7}, {"12 [24]", 6}, {"9 [18]", 5},
    {"6 [12]", 4}, {"11", 3}, {"5.5", 2}, {"2", 1}, {"1", 32768}};
constexpr ListEntry kEapType[] = {{"TLS", 13}, {"TTLS", 21}, {"PEAP", 25}};
constexpr ListEntry kInnerAuth[] = {{"PAP", 1}, {"MSCHAP-V2", 4}};

}  // namespace

std::span<const ListEntry> Mode80211List() { return kMode80211; }
std::span<const ListEntry> StreamMaskList() { return kStreamMask; }
std::span<const ListEntry> TxRateList() { return kTxRate; }
std::span<const ListEntry> EapTypeList() { return kEapType; }
std::span<const ListEntry> InnerAuthList() { return kInnerAuth; }

int ListIndexOf(std::span<const ListEntry> list, uint32_t value) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (list[i].value == value) return static_cast<int>(i);
  }
  return -1;
}

Result<WirelessRecord> DecodeWirelessRecord(std::span<const std::byte> d) {
  if (d.size() < r::kLength) {
    return Status::Corruption("wireless record: " + std::to_string(d.size()) + " bytes, need " +
                              std::to_string(r::kLength));
  }
  if (!HasMagic(d)) return Status::Corruption("wireless record: bad magic");
  const Header h = DecodeHeader(d);
  WirelessRecord w;
  w.version = h.version;
  w.mac = h.mac;
  WirelessSettings& s = w.settings;
  s.ssid = DecodeAnsi(d.subspan(r::kSsid, r::kSsidLength));
  s.shared_auth = U8(d, r::kAuthentication) == 2;
  s.auto_channel = Flag16(d, r::kAutoChannel);
  s.channel = U8(d, r::kChannel);
  s.own_mac = U8(d, r::kOwnMac) == 1;
  s.channel_width = U8(d, r::kChannelWidth);
  s.wep128 = U8(d, r::kWepLength) == 1;
  s.stream_mask = DecodeFixedBE32(d.data() + r::kStreamMask);
  s.mode_80211 = U8(d, r::kMode80211);
  s.tx_rate = DecodeFixedLE16(d.data() + r::kTxRate);
  std::memcpy(s.wep_key.data(), d.data() + r::kWepKey, s.wep_key.size());
  s.wep_enabled = Flag16(d, r::kWepEnabled);
  s.adhoc = U8(d, r::kAdhoc) == 1;
  s.cipher = U8(d, r::kCipher);
  s.eap_user = DecodeAnsi(d.subspan(r::kEapUser, r::kTextLength));
  s.eap_password = DecodeAnsi(d.subspan(r::kEapPassword, r::kTextLength));
  std::memcpy(s.extra_text.data(), d.data() + r::kExtraText, s.extra_text.size());
  s.inner_auth = U8(d, r::kInnerAuth);
  s.eap_type = U8(d, r::kEapType);
  s.wpa_psk = Flag16(d, r::kWpaPsk);
  s.wpa_mode = U8(d, r::kWpaMode);
  s.wpa_eap = Flag16(d, r::kWpaEap);
  s.psk = DecodeAnsi(d.subspan(r::kPsk, r::kPskLength));
  return w;
}

void TakeWireless(Configuration& c, const WirelessRecord& w) {
  c.wireless = w.settings;
  c.wireless_unread = false;
}

std::vector<std::byte> EncodeWirelessRecord(const Configuration& c) {
  const WirelessSettings& s = c.wireless;
  std::vector<std::byte> out(r::kLength, std::byte{0});
  EncodeHeader({4, kSetWireless, 0, c.mac}, out);
  PutAnsi(out, r::kSsid, r::kSsidLength, s.ssid, r::kSsidLength);
  out[r::kAuthentication] = std::byte{static_cast<uint8_t>(s.shared_auth ? 2 : 1)};
  PutFlag16(out, r::kAutoChannel, s.auto_channel);
  out[r::kChannel] = std::byte{s.channel};
  out[r::kOwnMac] = std::byte{static_cast<uint8_t>(s.own_mac ? 1 : 0)};
  out[r::kChannelWidth] = std::byte{s.channel_width};
  out[r::kWepLength] = std::byte{static_cast<uint8_t>(s.wep128 ? 1 : 0)};
  EncodeFixedBE32(out.data() + r::kStreamMask, s.stream_mask);
  out[r::kMode80211] = std::byte{s.mode_80211};
  EncodeFixedLE16(out.data() + r::kTxRate, s.tx_rate);
  std::memcpy(out.data() + r::kWepKey, s.wep_key.data(), s.wep_key.size());
  PutFlag16(out, r::kWepEnabled, s.wep_enabled);
  out[r::kAdhoc] = std::byte{static_cast<uint8_t>(s.adhoc ? 1 : 0)};
  out[r::kCipher] = std::byte{s.cipher};
  PutAnsi(out, r::kEapUser, r::kTextLength, s.eap_user, r::kTextLength);
  PutAnsi(out, r::kEapPassword, r::kTextLength, s.eap_password, r::kTextLength);
  std::memcpy(out.data() + r::kExtraText, s.extra_text.data(), s.extra_text.size());
  out[r::kInnerAuth] = std::byte{s.inner_auth};
  out[r::kEapType] = std::byte{s.eap_type};
  PutFlag16(out, r::kWpaPsk, s.wpa_psk);
  out[r::kWpaMode] = std::byte{s.wpa_mode};
  PutFlag16(out, r::kWpaEap, s.wpa_eap);
  // Up to 64 characters and a terminating NUL.
  PutAnsi(out, r::kPsk, r::kPskLength, s.psk, r::kPskLength - 1);
  assert(out.size() == r::kLength);
  AppendChecksum(out);
  return out;
}

}  // namespace kt::config
