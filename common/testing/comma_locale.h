// Test support: switches the C locale to one that writes "," before decimals (as an Indonesian or
// German desktop does) and restores the previous locale when it goes out of scope. When no such
// locale is installed it compiles one into a temporary folder (LOCPATH). Code that formats or
// parses numbers must give the same results under it.
#pragma once

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "common/testing/os.h"

namespace kt::test_support {

class CommaLocale {
 public:
  CommaLocale() {
    const char* previous = std::setlocale(LC_ALL, nullptr);
    saved_ = previous != nullptr ? previous : "C";
    // The last two are the Windows C runtime's names for German.
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "id_ID.UTF-8", "fr_FR.UTF-8", "de-DE", "German_Germany.1252"}) {
      if (std::setlocale(LC_ALL, name) != nullptr) return;
    }
    folder_ = std::filesystem::temp_directory_path() / ("kt_comma_locale_" + std::to_string(ProcessId()));
    std::filesystem::create_directories(folder_);
    const std::string command =
        "localedef -i de_DE -f UTF-8 '" + (folder_ / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != -1) {
      SetEnv("LOCPATH", folder_.string().c_str());
      if (std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr) return;
    }
    active_ = false;
  }
  ~CommaLocale() {
    std::setlocale(LC_ALL, saved_.c_str());
    if (!folder_.empty()) {
      UnsetEnv("LOCPATH");
      std::error_code ignored;
      std::filesystem::remove_all(folder_, ignored);
    }
  }
  CommaLocale(const CommaLocale&) = delete;
  CommaLocale& operator=(const CommaLocale&) = delete;

  // False when no decimal-comma locale could be set: the caller skips its test.
  bool active() const { return active_; }

 private:
  std::string saved_;
  std::filesystem::path folder_;
  bool active_ = true;
};

}  // namespace kt::test_support
