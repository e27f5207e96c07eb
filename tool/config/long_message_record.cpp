#include "tool/config/long_message_record.h"

#include <cassert>
#include <cstring>

#include "tool/config/record_header.h"
#include "tool/config/text_codec.h"

namespace kt::config {
namespace {
namespace r = long_message_record;
}

Result<LongMessages> DecodeLongMessages(std::span<const std::byte> d, int codepage) {
  if (d.size() < r::kLength) {
    return Status::Corruption("long-message record: " + std::to_string(d.size()) + " bytes, need " +
                              std::to_string(r::kLength));
  }
  if (!HasMagic(d)) return Status::Corruption("long-message record: bad magic");
  const Header h = DecodeHeader(d);
  LongMessages m;
  m.version = h.version;
  m.mac = h.mac;
  for (int i = 0; i < kLineCount; ++i) {
    const std::size_t off = r::kLines + i * r::kLineLength;
    MessageLine& line = m.lines[i];
    line.text = DecodeText(d.subspan(off, r::kLineTextLength), codepage);
    line.font = static_cast<uint8_t>(d[off + 60]);
    line.x = static_cast<uint8_t>(d[off + 61]);
    line.y = static_cast<uint8_t>(d[off + 62]);
    line.align = AlignmentFromCode(static_cast<uint8_t>(d[off + 63]));
  }
  return m;
}

void TakeLongMessages(Configuration& c, const LongMessages& m) {
  for (int i = kIdle1; i <= kError2; ++i) c.lines[i] = m.lines[i];
  c.lines_cut = 0;  // every line the terminal uses is now known whole
  if (m.version == 2) {
    c.lines[kOffline] = m.lines[kOffline];
    c.version = 2;
  }
}

std::vector<std::byte> EncodeLongMessages(const Configuration& c) {
  std::vector<std::byte> out(r::kLength, std::byte{0});
  EncodeHeader({c.version, kSetLongMessages, 0, c.mac}, out);
  const bool utf8 = c.codepage == kUtf8CodePageIndex;
  for (int i = 0; i < kLineCount; ++i) {
    const std::size_t off = r::kLines + i * r::kLineLength;
    const MessageLine& line = c.lines[i];
    const std::string text = CutBytes(EncodeText(line.text, c.codepage), r::kLineTextLength, utf8);
    std::memcpy(out.data() + off, text.data(), text.size());
    out[off + 60] = std::byte{line.font};
    out[off + 61] = std::byte{line.x};
    out[off + 62] = std::byte{line.y};
    out[off + 63] = std::byte{AlignmentCode(line.align)};
  }
  assert(out.size() == r::kLength);
  if (c.firmware_number() >= kFirmwareWirelessRecord) AppendChecksum(out);
  return out;
}

}  // namespace kt::config
