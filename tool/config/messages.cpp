#include "tool/config/messages.h"

#include "tool/config/configuration.h"

namespace kt::config {

std::optional<std::string> OwnMacOptionWarning(int firmware_number) {
  if (firmware_number >= kFirmwareWlanMacOption) return std::nullopt;
  return "This KX25 has firmware version " + std::to_string(firmware_number) +
         "\n\nYou need version 00.22 (or higher) to support this option.";
}

}  // namespace kt::config
