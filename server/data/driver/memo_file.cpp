#include "server/data/driver/memo_file.h"

#include <array>

#include "common/coding.h"

namespace kt::data {

Result<std::unique_ptr<MemoFile>> MemoFile::Open(const std::filesystem::path& path) {
  KT_ASSIGN_OR_RETURN(std::shared_ptr<SharedFile> file, OpenSharedFile(path, /*writable=*/false));
  std::array<std::byte, 8> head;
  KT_RETURN_IF_ERROR(file->ReadExact(0, head, "memo header"));
  const uint32_t block_size = DecodeFixedBE16(head.data() + kBlockSizeOffset);
  if (block_size == 0) return Status::Corruption(path.filename().string() + ": memo block size 0");
  return std::unique_ptr<MemoFile>(new MemoFile(std::move(file), block_size));
}

Result<std::string> MemoFile::Read(uint32_t block) const {
  if (block == 0) return std::string();
  const uint64_t offset = uint64_t{block} * block_size_;
  KT_ASSIGN_OR_RETURN(FileStamp stamp, file_->Stamp());
  std::array<std::byte, kBlockHeaderLength> head;
  KT_RETURN_IF_ERROR(file_->ReadExact(offset, head, "memo block"));
  const uint32_t length = DecodeFixedBE32(head.data() + 4);
  if (offset + kBlockHeaderLength + length > stamp.size) {
    return Status::Corruption(file_->path().filename().string() + ": memo at block " +
                              std::to_string(block) + " runs past the end of the file");
  }
  std::string text(length, '\0');
  KT_RETURN_IF_ERROR(file_->ReadExact(offset + kBlockHeaderLength,
                                      std::span(reinterpret_cast<std::byte*>(text.data()), length),
                                      "memo text"));
  return text;
}

}  // namespace kt::data
