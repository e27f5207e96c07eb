#include "tool/config/record_header.h"

#include <cstring>

#include "common/coding.h"

namespace kt::config {
namespace {
constexpr char kMagicText[4] = {'K', 'V', 'M', 'P'};
}

bool HasMagic(std::span<const std::byte> data) {
  return data.size() >= header::kShortLength &&
         std::memcmp(data.data() + header::kMagic, kMagicText, 4) == 0;
}

Header DecodeHeader(std::span<const std::byte> data) {
  Header h;
  h.version = DecodeFixedBE16(data.data() + header::kVersion);
  h.command = static_cast<uint8_t>(data[header::kCommand]);
  if (data.size() >= header::kLength) {
    h.byte7 = static_cast<uint8_t>(data[header::kByte7]);
    std::memcpy(h.mac.data(), data.data() + header::kMac, 6);
  }
  return h;
}

void EncodeHeader(const Header& h, std::span<std::byte> out) {
  std::memcpy(out.data() + header::kMagic, kMagicText, 4);
  EncodeFixedBE16(out.data() + header::kVersion, h.version);
  out[header::kCommand] = std::byte{h.command};
  out[header::kByte7] = std::byte{h.byte7};
  std::memcpy(out.data() + header::kMac, h.mac.data(), 6);
}

std::vector<std::byte> EncodeDiscoveryRequest() {
  std::vector<std::byte> out(header::kLength);
  EncodeHeader({2, kDiscoveryRequest, 0, {}}, out);
  out.resize(header::kShortLength);
  return out;
}

std::vector<std::byte> EncodeFetchRequest(Command command, const Mac& mac) {
  std::vector<std::byte> out(header::kLength);
  const uint16_t version = command == kRequestWireless ? 4 : 2;
  EncodeHeader({version, command, 0, mac}, out);
  return out;
}

uint8_t Checksum(std::span<const std::byte> data) {
  unsigned sum = 0;
  for (std::byte b : data) sum += static_cast<unsigned>(b);
  return static_cast<uint8_t>(sum & 0xFF);
}

void AppendChecksum(std::vector<std::byte>& datagram) {
  const uint8_t sum = Checksum(datagram);
  datagram.push_back(std::byte{sum});
}

}  // namespace kt::config
