#include <sys/stat.h>

#include "common/platform/files/file_identity.h"

namespace kt::platform {

std::optional<FileIdentity> IdentityOfPath(const std::filesystem::path& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

}  // namespace kt::platform
