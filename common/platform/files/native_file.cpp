// What a native file does the same on every system: it owns its handle and moves it along.
#include "common/platform/files/native_file.h"

#include <utility>

namespace kt::platform {

NativeFile::NativeFile(NativeFile&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), path_(std::move(other.path_)), identity_(other.identity_) {}

NativeFile& NativeFile::operator=(NativeFile&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, -1);
    path_ = std::move(other.path_);
    identity_ = other.identity_;
  }
  return *this;
}

NativeFile::~NativeFile() { Close(); }

}  // namespace kt::platform
