// The identity of the file a path names now (device and inode, or volume and file index: the
// numbers NativeFile::identity() gives for an opening of it). nullopt while nothing is there.
// The table driver compares the two to notice a table that another program replaced.
#pragma once

#include <filesystem>
#include <optional>

#include "common/platform/files/native_file.h"

namespace kt::platform {

std::optional<FileIdentity> IdentityOfPath(const std::filesystem::path& path);

}  // namespace kt::platform
