// Fixed texts of the read and apply exchanges that the window and kx25ctl show.
#pragma once

#include <optional>
#include <string>

namespace kt::config {

// Shown with a warning icon when the selected list line matches no terminal in the device table.
inline constexpr const char* kUnknownDeviceCaption = "Unknown Device";
inline constexpr const char* kUnknownDeviceMessage =
    "The device you are trying to configure is not an\n"
    "KX25, or it's an KX25 with older firmware.\n\n"
    "Please update to the latest firmware version.";

// The warning for choosing the terminal's own MAC address for the WLAN on firmware 0.21 or
// lower (caption "Warning"); nullopt when the firmware supports the option.
inline constexpr const char* kWarningCaption = "Warning";
std::optional<std::string> OwnMacOptionWarning(int firmware_number);

}  // namespace kt::config
