// Where the accounting tables are: the data-folder rule and the path of one table.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kt::data {

// The separator added where a location lacks a trailing one.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

inline constexpr std::string_view kDataFolderName = "ST_DB";
inline constexpr std::string_view kTableExtension = ".G8A";

bool IsPathSeparator(char c);  // '\' everywhere, '/' too on this platform

// The data folder for a configured location: a trailing separator added when missing and,
// unless it already ends (case-insensitive) with "ST_DB" and a separator, "ST_DB" and a
// separator appended. Blanks around the location are ignored; an empty location gives "".
std::string DataFolderFromLocation(std::string_view location);

// The location the settings store for what the operator typed: trimmed, with a trailing
// separator, and a final "ST_DB" + separator removed (case-insensitive).
std::string StoredLocation(std::string_view location);

// The file of table `name` (e.g. "S_STOCK") in `data_folder`: NAME.G8A, found without regard to
// letter case; the exact spelling when no file matches (opening it then reports the failure).
std::filesystem::path TablePath(const std::filesystem::path& data_folder, std::string_view name);

// The entry named `name` in `parent` ignoring ASCII case (exact spelling first); "" when none.
std::filesystem::path FindEntryIgnoringCase(const std::filesystem::path& parent, std::string_view name);

}  // namespace kt::data
