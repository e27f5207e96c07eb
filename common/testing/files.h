// Test support: whole-file reads and writes, and a scratch folder per test process (several
// builds may run the suite at once, so no two processes share scratch files).
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace kt::test_support {

// The file's bytes; empty when it cannot be read.
inline std::string ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Replaces the file's contents with `bytes`.
inline void WriteFileBytes(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// "<gtest temp dir>/<prefix>_<pid>": not created here; the caller creates and removes it.
inline std::filesystem::path ProcessScratchRoot(std::string_view prefix) {
  return std::filesystem::path(::testing::TempDir()) /
         (std::string(prefix) + "_" + std::to_string(::getpid()));
}

}  // namespace kt::test_support
