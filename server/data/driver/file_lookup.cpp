#include "server/data/driver/file_lookup.h"

#include <system_error>

namespace kt::data {

namespace {

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

std::optional<std::filesystem::path> FindFileIgnoringCase(const std::filesystem::path& folder,
                                                          std::string_view file_name) {
  namespace fs = std::filesystem;
  if (file_name.empty()) return std::nullopt;
  std::error_code ec;
  const fs::path exact = folder / std::string(file_name);
  if (fs::is_regular_file(exact, ec)) return exact;
  const fs::path dir = folder.empty() ? fs::path(".") : folder;
  fs::directory_iterator it(dir, ec);
  if (ec) return std::nullopt;
  std::optional<fs::path> best;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) break;
    const std::string name = it->path().filename().string();
    if (!EqualsIgnoringAsciiCase(name, file_name)) continue;
    std::error_code type_ec;
    if (!it->is_regular_file(type_ec)) continue;
    // Directory order is arbitrary: take the smallest name so the choice is repeatable.
    const fs::path found = folder / name;
    if (!best || found.filename().string() < best->filename().string()) best = found;
  }
  return best;
}

std::optional<std::filesystem::path> FindFileIgnoringCase(const std::filesystem::path& path) {
  return FindFileIgnoringCase(path.parent_path(), path.filename().string());
}

}  // namespace kt::data
