// Helpers shared by the data-layer tests: a sink that records what it was told and a temporary
// folder that removes itself.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "common/event_sink.h"
#include "common/testing/os.h"

namespace kt::data::testing {

class RecordingSink : public EventSink {
 public:
  void ConnectedInfo(std::string_view text) override { Add(connected, text); }
  void ScanInfo(std::string_view text) override { Add(scans, text); }
  void ErrorBox(std::string_view text) override { Add(boxes, text); }

  void Clear() {
    std::scoped_lock lock(mutex);
    connected.clear();
    scans.clear();
    boxes.clear();
  }

  std::mutex mutex;
  std::vector<std::string> connected, scans, boxes;

 private:
  void Add(std::vector<std::string>& list, std::string_view text) {
    std::scoped_lock lock(mutex);
    list.emplace_back(text);
  }
};

// A fresh folder below the system's temporary folder, without "." or "," in its path.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ktdataXXXXXX").string();
    if (!test_support::MakeUniqueFolder(pattern)) std::abort();
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline std::string ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

}  // namespace kt::data::testing
