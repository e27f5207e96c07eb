#include "server/data/data_folder.h"

#include <algorithm>
#include <system_error>

#include "common/text/text.h"
#include "server/data/driver/file_lookup.h"

namespace kt::data {

namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && text::UpperAscii(a) == text::UpperAscii(b);
}

// True when `folder` (with its trailing separator) ends with "ST_DB" + separator.
bool EndsWithDataFolder(std::string_view folder) {
  if (folder.size() < kDataFolderName.size() + 1 || !IsPathSeparator(folder.back())) return false;
  const std::string_view name =
      folder.substr(folder.size() - 1 - kDataFolderName.size(), kDataFolderName.size());
  if (!EqualsIgnoringCase(name, kDataFolderName)) return false;
  // "ST_DB" must be a whole folder name, not the tail of "XST_DB".
  const std::size_t before = folder.size() - 1 - kDataFolderName.size();
  return before == 0 || IsPathSeparator(folder[before - 1]);
}

std::string WithTrailingSeparator(std::string_view location) {
  std::string out(text::Trim(location));
  if (!out.empty() && !IsPathSeparator(out.back())) out += kPathSeparator;
  return out;
}

}  // namespace

// Operators write either separator; both mean the same on every platform we run on.
bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

std::string DataFolderFromLocation(std::string_view location) {
  std::string folder = WithTrailingSeparator(location);
  if (folder.empty() || EndsWithDataFolder(folder)) return folder;
  folder += kDataFolderName;
  folder += kPathSeparator;
  return folder;
}

std::string StoredLocation(std::string_view location) {
  std::string folder = WithTrailingSeparator(location);
  if (EndsWithDataFolder(folder)) folder.resize(folder.size() - kDataFolderName.size() - 1);
  return folder;
}

std::filesystem::path FindEntryIgnoringCase(const std::filesystem::path& parent, std::string_view name) {
  std::error_code ec;
  const std::filesystem::path exact = parent / std::string(name);
  if (std::filesystem::exists(exact, ec)) return exact;
  std::filesystem::directory_iterator it(parent.empty() ? std::filesystem::path(".") : parent, ec);
  if (ec) return {};
  for (const auto& entry : it) {
    if (EqualsIgnoringCase(entry.path().filename().string(), name)) return parent / entry.path().filename();
  }
  return {};
}

std::filesystem::path TablePath(const std::filesystem::path& data_folder_as_written, std::string_view name) {
#ifdef _WIN32
  const std::filesystem::path& data_folder = data_folder_as_written;
#else
  // "\" is an ordinary file-name character here; operators mean a separator.
  std::string native = data_folder_as_written.string();
  std::replace(native.begin(), native.end(), '\\', '/');
  const std::filesystem::path data_folder(native);
#endif
  const std::string file = std::string(name) + std::string(kTableExtension);
  if (auto found = FindFileIgnoringCase(data_folder, file)) return *found;
  // The folder itself may be spelt in another letter case ("st_db" for "ST_DB").
  std::string folder_text = data_folder.string();
  while (folder_text.size() > 1 && IsPathSeparator(folder_text.back())) folder_text.pop_back();
  const std::filesystem::path folder(folder_text);
  const std::filesystem::path real_folder =
      FindEntryIgnoringCase(folder.parent_path(), folder.filename().string());
  if (!real_folder.empty()) {
    if (auto found = FindFileIgnoringCase(real_folder, file)) return *found;
  }
  return data_folder / file;
}

}  // namespace kt::data
