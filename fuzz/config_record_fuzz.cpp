// Datagrams from arbitrary bytes through the three record decoders, and a decoded configuration
// back through the encoders.
#include <cstddef>
#include <cstdint>
#include <span>

#include "tool/config/config_record.h"
#include "tool/config/long_message_record.h"
#include "tool/config/wireless_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto bytes = std::as_bytes(std::span(data, size));
  auto c = kt::config::DecodeConfigRecord(bytes);
  if (c.ok()) {
    const auto wire = kt::config::EncodeConfigRecord(*c);
    if (!kt::config::DecodeConfigRecord(wire).ok()) __builtin_trap();
    (void)kt::config::EncodeLongMessages(*c);
    (void)kt::config::EncodeWirelessRecord(*c);
  }
  auto m = kt::config::DecodeLongMessages(bytes, size > 0 ? data[0] % 16 : 9);
  auto w = kt::config::DecodeWirelessRecord(bytes);
  (void)m;
  (void)w;
  return 0;
}
