// Settings files ("*.KX25") and the clone file "clone.KX25": the values of the configuration
// pages in the archive encoding of archive.h.
//
//   file kind (string)  format number 4004 (integer)
//   "PROP1_101" Network   "PROP2_101" Wireless   "PROP3_101" Messages
//   ["PROP4_101" RS232, only with the RS232 page]   "PROP6_101" Miscellaneous
//   ["PROP7_101" Retalix specifics, only for record versions 3 and 5]
//
// The file carries no marker of which optional blocks it holds: it reads back correctly only
// with the same page set it was written with. Reading checks each block's tag and that nothing
// follows the last block, so a file saved with another page set is refused, not misread.
#pragma once

#include <cstddef>
#include <filesystem>
#include <span>
#include <string_view>
#include <vector>

#include "common/status.h"
#include "tool/config/configuration.h"

namespace kt::config {

inline constexpr std::string_view kSettingsFileKind = "SETTINGSKX25II";
inline constexpr std::string_view kCloneFileKind = "CLONEKX25II";
inline constexpr std::string_view kCloneFileName = "clone.KX25";
inline constexpr int32_t kSettingsFormatNumber = 4004;
inline constexpr std::string_view kIncompatibleFileMessage =
    "Incompatible V4 settings file\nno settings loaded";

// Which optional page blocks a file holds.
struct PageSet {
  bool rs232 = false;    // the tool runs with the RS232 page
  bool retalix = false;  // record version 3 or 5
};
inline PageSet PagesFor(const Configuration& c, bool rs232_page) {
  return {rs232_page, HasRetalixBlock(c.version)};
}

// The bytes of a settings file holding the page values of `c`.
std::vector<std::byte> EncodeSettingsFile(const Configuration& c, std::string_view file_kind,
                                          PageSet pages);

// Loads a settings file into a copy of `current` and returns it; `current` is what the pages
// showed, and keeps its IP address and every value the file does not hold. Fails, changing
// nothing, with InvalidArgument(kIncompatibleFileMessage) for a format number outside
// 4001-4999, and with Corruption for a truncated or malformed file or a value that does not fit
// its field.
Result<Configuration> DecodeSettingsFile(std::span<const std::byte> file, const Configuration& current,
                                         PageSet pages);

// File versions of the two: writing replaces the file only once the whole content is on disk
// and leaves an existing file untouched when it fails; its IOError names the step and the
// system's reason ("cannot write X.tmp: No space left on device"). Reading refuses files larger
// than any settings file can be.
Status WriteSettingsFile(const std::filesystem::path& path, const Configuration& c,
                         std::string_view file_kind, PageSet pages);
Result<Configuration> ReadSettingsFile(const std::filesystem::path& path,
                                       const Configuration& current, PageSet pages);

}  // namespace kt::config
