// Whether a firmware image fits a terminal's flash memory.
//
// An image states the flash size it is built for in bytes 21-23, a 24-bit big-endian number; the
// rest of the image is the terminal's business. A terminal's flash size follows from the 5
// characters of its firmware version text:
//
//   "0" + ("0"|"1") + ("." | "T" then "0")   512 KiB
//   otherwise "0" + ("3" or higher)           8 MiB
//   anything else                            1 MiB
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/status.h"
#include "tool/firmware/firmware_messages.h"

namespace kt::firmware {

namespace image_header {
inline constexpr std::size_t kFlashSize = 21;  // 3 bytes, big-endian
inline constexpr std::size_t kFlashSizeWidth = 3;
inline constexpr std::size_t kMinimumLength = kFlashSize + kFlashSizeWidth;  // 24
}  // namespace image_header

inline constexpr uint32_t kFlash512K = 524288;
inline constexpr uint32_t kFlash1M = 1048576;
inline constexpr uint32_t kFlash8M = 8388608;

// The flash size of a terminal whose version text is `version` (only its first 5 characters
// count; missing characters count as blanks).
uint32_t FlashSizeForVersion(std::string_view version);

// The flash size an image is built for, from its first bytes. Corruption when fewer than 24
// bytes are given.
Result<uint32_t> DecodeImageFlashSize(std::span<const std::byte> head);

// Reads the first 24 bytes of the file and decodes them. IOError when the file cannot be opened;
// Corruption when it is shorter than 24 bytes (such a file cannot be an image).
Result<uint32_t> ReadImageFlashSize(const std::string& path);

// The check made before an upload: nothing when the image fits the terminal, otherwise the box
// to show ("Fatal Error" when the file cannot be read, "Flash size incompatibility" when the
// sizes differ).
std::optional<MessageBox> CheckImageFits(const std::string& path, std::string_view terminal_version);

}  // namespace kt::firmware
