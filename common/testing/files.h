// Test support: whole-file reads and writes, and a scratch folder per test process (several
// builds may run the suite at once, so no two processes share scratch files).
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>

#include <gtest/gtest.h>

#include "common/testing/os.h"

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
         (std::string(prefix) + "_" + std::to_string(ProcessId()));
}

// The running test's name as one path component: a parameterised test's "Name/param" becomes
// "Name_param", so that its folder is not nested in one nobody removes.
inline std::string TestNameForPath() {
  std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  for (char& c : name) {
    if (c == '/' || c == '\\') c = '_';
  }
  return name;
}

// An empty folder for the files of the running test, "<ProcessScratchRoot(root_prefix)>/
// <name_prefix><test name>", made when constructed and removed (with the process root, once
// nothing else is left in it) when destroyed. Construct it inside a test or a fixture.
class ScratchFolder {
 public:
  ScratchFolder(std::string_view root_prefix, std::string_view name_prefix)
      : root_(ProcessScratchRoot(root_prefix)),
        path_(root_ / (std::string(name_prefix) + TestNameForPath())) {
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
    std::filesystem::remove(root_, ignored);  // fails, as wanted, while other tests' files are there
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  const std::filesystem::path root_;
  const std::filesystem::path path_;
};

}  // namespace kt::test_support
