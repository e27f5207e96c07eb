// Settings files from arbitrary bytes: loading must fail cleanly or give a configuration whose
// every value fits its record field, and that configuration must encode again.
#include <cstddef>
#include <cstdint>
#include <span>

#include "tool/config/config_record.h"
#include "tool/config/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto bytes = std::as_bytes(std::span(data, size));
  kt::config::Configuration current;
  current.firmware_version = size % 2 ? "03.10" : "02.10";
  current.version = static_cast<uint16_t>(2 + size % 4);
  const kt::config::PageSet pages{size % 3 == 0, kt::config::HasRetalixBlock(current.version)};
  auto loaded = kt::config::DecodeSettingsFile(bytes, current, pages);
  if (loaded.ok()) {
    const auto record = kt::config::EncodeConfigRecord(*loaded);
    if (record.size() < kt::config::config_record::kLength) __builtin_trap();
    const auto again = kt::config::EncodeSettingsFile(*loaded, kt::config::kSettingsFileKind, pages);
    if (!kt::config::DecodeSettingsFile(again, current, pages).ok()) __builtin_trap();
  }
  return 0;
}
