// Fixed-width integer encoding in both byte orders, and bounds-checked cursors over byte buffers.
//
// The raw Decode*/Encode* functions take a pointer to at least sizeof(value) bytes: use them only
// where the length has been checked once already. ByteReader checks every read; it never reads
// past its span, and after the first short read it stays failed and yields zeros, so a decoder
// reads a whole record and then asks ok() once.
//
// Any byte-sized type works: std::byte, uint8_t, char.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace kt {

template <typename B>
concept ByteLike = sizeof(B) == 1 && std::is_trivially_copyable_v<B>;

// ---- Little-endian ----
template <ByteLike B> inline uint16_t DecodeFixedLE16(const B* p) {
  const auto* b = reinterpret_cast<const uint8_t*>(p);
  return static_cast<uint16_t>(b[0] | (b[1] << 8));
}
template <ByteLike B> inline uint32_t DecodeFixedLE32(const B* p) {
  const auto* b = reinterpret_cast<const uint8_t*>(p);
  return uint32_t{b[0]} | (uint32_t{b[1]} << 8) | (uint32_t{b[2]} << 16) | (uint32_t{b[3]} << 24);
}
template <ByteLike B> inline uint64_t DecodeFixedLE64(const B* p) {
  return uint64_t{DecodeFixedLE32(p)} | (uint64_t{DecodeFixedLE32(p + 4)} << 32);
}
template <ByteLike B> inline void EncodeFixedLE16(B* p, uint16_t v) {
  auto* b = reinterpret_cast<uint8_t*>(p);
  b[0] = static_cast<uint8_t>(v);
  b[1] = static_cast<uint8_t>(v >> 8);
}
template <ByteLike B> inline void EncodeFixedLE32(B* p, uint32_t v) {
  auto* b = reinterpret_cast<uint8_t*>(p);
  for (int i = 0; i < 4; ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
}
template <ByteLike B> inline void EncodeFixedLE64(B* p, uint64_t v) {
  EncodeFixedLE32(p, static_cast<uint32_t>(v));
  EncodeFixedLE32(p + 4, static_cast<uint32_t>(v >> 32));
}

// ---- Big-endian ("network order") ----
template <ByteLike B> inline uint16_t DecodeFixedBE16(const B* p) {
  const auto* b = reinterpret_cast<const uint8_t*>(p);
  return static_cast<uint16_t>((b[0] << 8) | b[1]);
}
template <ByteLike B> inline uint32_t DecodeFixedBE32(const B* p) {
  const auto* b = reinterpret_cast<const uint8_t*>(p);
  return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | uint32_t{b[3]};
}
template <ByteLike B> inline uint64_t DecodeFixedBE64(const B* p) {
  return (uint64_t{DecodeFixedBE32(p)} << 32) | uint64_t{DecodeFixedBE32(p + 4)};
}
template <ByteLike B> inline void EncodeFixedBE16(B* p, uint16_t v) {
  auto* b = reinterpret_cast<uint8_t*>(p);
  b[0] = static_cast<uint8_t>(v >> 8);
  b[1] = static_cast<uint8_t>(v);
}
template <ByteLike B> inline void EncodeFixedBE32(B* p, uint32_t v) {
  auto* b = reinterpret_cast<uint8_t*>(p);
  for (int i = 0; i < 4; ++i) b[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}
template <ByteLike B> inline void EncodeFixedBE64(B* p, uint64_t v) {
  EncodeFixedBE32(p, static_cast<uint32_t>(v >> 32));
  EncodeFixedBE32(p + 4, static_cast<uint32_t>(v));
}

// Bounds-checked reading cursor. Sticky failure: see the file comment.
class ByteReader {
 public:
  explicit ByteReader(std::span<const std::byte> data) : data_(data) {}
  template <ByteLike B>
  ByteReader(const B* data, std::size_t size)
      : data_(reinterpret_cast<const std::byte*>(data), size) {}

  bool ok() const { return ok_; }
  std::size_t position() const { return pos_; }
  std::size_t remaining() const { return data_.size() - pos_; }
  bool AtEnd() const { return pos_ == data_.size(); }

  uint8_t U8() { const std::byte* p = Take(1); return p ? static_cast<uint8_t>(*p) : 0; }
  uint16_t LE16() { const std::byte* p = Take(2); return p ? DecodeFixedLE16(p) : 0; }
  uint32_t LE32() { const std::byte* p = Take(4); return p ? DecodeFixedLE32(p) : 0; }
  uint64_t LE64() { const std::byte* p = Take(8); return p ? DecodeFixedLE64(p) : 0; }
  uint16_t BE16() { const std::byte* p = Take(2); return p ? DecodeFixedBE16(p) : 0; }
  uint32_t BE32() { const std::byte* p = Take(4); return p ? DecodeFixedBE32(p) : 0; }

  // The next n bytes (empty span after a failure).
  std::span<const std::byte> Bytes(std::size_t n) {
    const std::byte* p = Take(n);
    return p ? std::span<const std::byte>(p, n) : std::span<const std::byte>();
  }
  // Copies the next n bytes into out (zeros after a failure).
  void CopyTo(void* out, std::size_t n) {
    const std::byte* p = Take(n);
    if (p) std::memcpy(out, p, n); else std::memset(out, 0, n);
  }
  void Skip(std::size_t n) { Take(n); }

 private:
  const std::byte* Take(std::size_t n) {
    if (!ok_ || n > data_.size() - pos_) { ok_ = false; pos_ = data_.size(); return nullptr; }
    const std::byte* p = data_.data() + pos_;
    pos_ += n;
    return p;
  }

  std::span<const std::byte> data_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

// Appending writer over a growing byte vector.
class ByteWriter {
 public:
  explicit ByteWriter(std::vector<std::byte>& out) : out_(out) {}

  void U8(uint8_t v) { out_.push_back(static_cast<std::byte>(v)); }
  void LE16(uint16_t v) { EncodeFixedLE16(Grow(2), v); }
  void LE32(uint32_t v) { EncodeFixedLE32(Grow(4), v); }
  void LE64(uint64_t v) { EncodeFixedLE64(Grow(8), v); }
  void BE16(uint16_t v) { EncodeFixedBE16(Grow(2), v); }
  void BE32(uint32_t v) { EncodeFixedBE32(Grow(4), v); }
  void Bytes(const void* data, std::size_t n) {
    if (n) std::memcpy(Grow(n), data, n);
  }
  void Zeros(std::size_t n) { out_.resize(out_.size() + n, std::byte{0}); }
  std::size_t size() const { return out_.size(); }

 private:
  std::byte* Grow(std::size_t n) {
    out_.resize(out_.size() + n);
    return out_.data() + out_.size() - n;
  }
  std::vector<std::byte>& out_;
};

inline std::span<const std::byte> AsBytes(std::string_view s) {
  return {reinterpret_cast<const std::byte*>(s.data()), s.size()};
}
inline std::string ToString(std::span<const std::byte> b) {
  return std::string(reinterpret_cast<const char*>(b.data()), b.size());
}

}  // namespace kt
