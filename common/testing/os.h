// Test support: the few process and environment calls the tests make, for Linux and Windows
// alike (the product code has its platform layer in common/platform; tests keep it to this file).
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace kt::test_support {

inline void SetEnv(const char* name, const char* value) {
#ifdef _WIN32
  ::_putenv_s(name, value);
#else
  ::setenv(name, value, 1);
#endif
}

inline void UnsetEnv(const char* name) {
#ifdef _WIN32
  ::_putenv_s(name, "");  // an empty value removes the variable
#else
  ::unsetenv(name);
#endif
}

inline int ProcessId() {
#ifdef _WIN32
  return ::_getpid();
#else
  return ::getpid();
#endif
}

// Creates a new folder from `pattern`, whose last six characters are "XXXXXX", and replaces them
// with what was chosen. False when no folder could be made.
inline bool MakeUniqueFolder(std::string& pattern) {
#ifdef _WIN32
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = pattern;
    if (::_mktemp_s(name.data(), name.size() + 1) != 0) return false;
    std::error_code ec;
    if (std::filesystem::create_directory(name, ec)) {
      pattern = name;
      return true;
    }
  }
  return false;
#else
  return ::mkdtemp(pattern.data()) != nullptr;
#endif
}

// Copies the folder tree `from` into the folder `to`, which may exist already (mingw's
// std::filesystem::copy refuses an existing target folder that Linux's accepts).
inline void CopyTree(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::filesystem::create_directories(to);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(from)) {
    const std::filesystem::path target = to / std::filesystem::relative(entry.path(), from);
    if (entry.is_directory())
      std::filesystem::create_directories(target);
    else
      std::filesystem::copy_file(entry.path(), target, std::filesystem::copy_options::overwrite_existing);
  }
}

}  // namespace kt::test_support
