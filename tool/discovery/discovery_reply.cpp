#include "tool/discovery/discovery_reply.h"

#include <algorithm>
#include <cstring>

#include "common/coding.h"
#include "common/net/udp_socket.h"
#include "common/text/text.h"
#include "tool/config/config_record.h"
#include "tool/config/record_header.h"
#include "tool/config/text_codec.h"

namespace kt::discovery {
namespace {

// Leading blanks removed, then cut to `max` characters (UTF-8 aware).
std::string Column(std::string_view column, std::size_t max) {
  const std::string_view shown = text::TrimLeft(column);
  std::size_t chars = 0, i = 0;
  for (; i < shown.size(); ++i) {
    if ((static_cast<uint8_t>(shown[i]) & 0xC0) != 0x80 && chars++ == max) break;
  }
  return std::string(shown.substr(0, i));
}

void PadTo(std::string& line, const std::string& text, std::size_t width) {
  line += text;
  for (std::size_t n = config::CountCharacters(text); n < width; ++n) line += ' ';
}

// Byte offset of character position `pos` in a UTF-8 line.
std::size_t ByteOffset(const std::string& s, std::size_t pos) {
  std::size_t chars = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if ((static_cast<uint8_t>(s[i]) & 0xC0) != 0x80) {
      if (chars == pos) return i;
      ++chars;
    }
  }
  return s.size();
}

std::string Key(const std::string& line, std::size_t start, std::size_t length) {
  const std::size_t b = ByteOffset(line, start);
  const std::size_t e = ByteOffset(line, start + length);
  return line.substr(b, e - b);
}

}  // namespace

bool IsDiscoveryReply(std::span<const std::byte> slot) {
  if (!config::HasMagic(slot)) return false;
  const config::Header h = config::DecodeHeader(slot);
  return h.version >= 2 && h.version <= 5 && h.command == config::kDiscoveryReply;
}

DeviceSummary Summarize(std::span<const std::byte> slot) {
  namespace r = config::config_record;
  DeviceSummary d;
  std::memcpy(d.mac.data(), slot.data() + config::header::kMac, 6);
  d.ip = DecodeFixedBE32(slot.data() + r::kCurrentIp);
  // The firmware text runs to its NUL; only the first 5 characters are shown.
  d.firmware = Column(config::DecodeAnsi(slot.subspan(r::kFirmwareVersion)), 5);
  d.name = Column(config::DecodeAnsi(slot.subspan(kNameOffset)), 26);
  return d;
}

std::string DeviceListLine(const DeviceSummary& d) {
  std::string line;
  PadTo(line, net::FormatIpv4(d.ip), 15);
  line += "  ";
  PadTo(line, config::FormatMac(d.mac, '-'), 17);
  line += "  ";
  PadTo(line, d.firmware, 5);
  line += "  ";
  PadTo(line, d.name, 26);
  return line;
}

void SortDeviceLines(std::vector<std::string>& lines, int mode) {
  static constexpr std::size_t kStart[4] = {0, 17, 36, 43};
  static constexpr std::size_t kLength[4] = {15, 17, 5, 26};
  const int column = (mode / 2) & 3;
  const bool descending = mode % 2 == 1;
  std::stable_sort(lines.begin(), lines.end(), [&](const std::string& a, const std::string& b) {
    const std::string ka = Key(a, kStart[column], kLength[column]);
    const std::string kb = Key(b, kStart[column], kLength[column]);
    return descending ? ka > kb : ka < kb;
  });
}

}  // namespace kt::discovery
