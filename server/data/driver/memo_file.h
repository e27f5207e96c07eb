// Reading memo texts from a FoxPro-style memo file (.FPT).
//
//   header (block 0): 0 next free block u32 BE | 4 unused | 6 block size u16 BE
//   memo at block b:  b * block size: type u32 BE | length u32 BE | length bytes
//
// Thread safety: Read may be called from several threads at once.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "common/status.h"
#include "server/data/driver/shared_file.h"

namespace kt::data {

class MemoFile {
 public:
  static constexpr std::size_t kHeaderLength = 512;
  static constexpr std::size_t kBlockSizeOffset = 6;
  static constexpr std::size_t kBlockHeaderLength = 8;

  // NotFound when missing; Corruption for a header with block size 0.
  static Result<std::unique_ptr<MemoFile>> Open(const std::filesystem::path& path);

  // The memo stored at `block`; "" for block 0. Corruption when it runs past the file.
  Result<std::string> Read(uint32_t block) const;

 private:
  MemoFile(std::shared_ptr<SharedFile> file, uint32_t block_size)
      : file_(std::move(file)), block_size_(block_size) {}

  const std::shared_ptr<SharedFile> file_;
  const uint32_t block_size_;
};

}  // namespace kt::data
