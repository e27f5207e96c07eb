#include "tool/firmware/flash_size.h"

#include <array>
#include <fstream>

namespace kt::firmware {

uint32_t FlashSizeForVersion(std::string_view version) {
  auto at = [&](std::size_t i) { return i < version.size() ? version[i] : ' '; };
  const char c0 = at(0), c1 = at(1), c2 = at(2), c3 = at(3);
  if (c0 == '0' && (c1 == '0' || c1 == '1') && (c2 == '.' || (c2 == 'T' && c3 == '0'))) return kFlash512K;
  if (c0 == '0' && c1 >= '3') return kFlash8M;
  return kFlash1M;
}

Result<uint32_t> DecodeImageFlashSize(std::span<const std::byte> head) {
  if (head.size() < image_header::kMinimumLength) {
    return Status::Corruption("firmware file has " + std::to_string(head.size()) + " bytes; at least " +
                              std::to_string(image_header::kMinimumLength) + " are needed");
  }
  const auto b = [&](std::size_t i) { return static_cast<uint32_t>(head[image_header::kFlashSize + i]); };
  return (b(0) << 16) | (b(1) << 8) | b(2);
}

Result<uint32_t> ReadImageFlashSize(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return Status::IOError("cannot open " + path);
  std::array<std::byte, image_header::kMinimumLength> head{};
  in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
  const auto got = static_cast<std::size_t>(in.gcount());
  return DecodeImageFlashSize(std::span<const std::byte>(head.data(), got));
}

std::optional<MessageBox> CheckImageFits(const std::string& path, std::string_view terminal_version) {
  Result<uint32_t> size = ReadImageFlashSize(path);
  if (!size.ok()) {
    return size.status().IsCorruption() ? ImageTooShortBox(path) : ErrorOpeningFileBox(path);
  }
  if (*size != FlashSizeForVersion(terminal_version)) return FlashSizeIncompatibleBox();
  return std::nullopt;
}

}  // namespace kt::firmware
