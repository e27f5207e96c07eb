// Finding table, index and memo files without regard to letter case: data folders come from
// Windows machines, where S_STOCK.G8A, s_stock.g8a and S_Stock.G8a are the same file.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace kt::data {

// The existing file in `folder` whose name equals `file_name` ignoring ASCII case; the exact name
// wins when several match. nullopt when there is none or the folder cannot be read.
std::optional<std::filesystem::path> FindFileIgnoringCase(const std::filesystem::path& folder,
                                                          std::string_view file_name);

// The same for a full path: its folder is searched for its file name.
std::optional<std::filesystem::path> FindFileIgnoringCase(const std::filesystem::path& path);

}  // namespace kt::data
