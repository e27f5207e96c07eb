// The little-endian archive encoding of settings files: 32-bit integers, bytes, 16-bit values,
// strings and IPv4 addresses, written and read in a fixed order.
//
// String: 0xFF, 0xFFFE (marks UTF-16), then the length in UTF-16 units (one byte below 255;
// else 0xFF and a 16-bit length below 0xFFFE; else 0xFF, 0xFFFF and a 32-bit length), then the
// units, least significant byte first, no terminator. The reader also takes the older 8-bit
// form (the same length forms without the 0xFFFE marker, Windows-1252 bytes).
// Address: an integer with the first octet in the most significant byte.
//
// ArchiveReader trusts nothing: every length is checked against the bytes left before anything
// is allocated, and the first failure is kept (later reads yield zero values) so a page reads its
// whole block and then asks status() once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/coding.h"
#include "common/status.h"

namespace kt::config {

class ArchiveWriter {
 public:
  explicit ArchiveWriter(std::vector<std::byte>& out) : w_(out) {}
  void Int(int32_t v) { w_.LE32(static_cast<uint32_t>(v)); }
  void Byte(uint8_t v) { w_.U8(v); }
  void Word(uint16_t v) { w_.LE16(v); }
  void Address(uint32_t host_order) { w_.LE32(host_order); }
  void String(std::string_view utf8);

 private:
  ByteWriter w_;
};

class ArchiveReader {
 public:
  explicit ArchiveReader(std::span<const std::byte> data) : r_(data) {}
  int32_t Int();
  uint8_t Byte();
  uint16_t Word();
  uint32_t Address() { return static_cast<uint32_t>(Int()); }
  std::string String();  // UTF-8

  // Ok, or Corruption naming what was being read when the data ran out or made no sense.
  const Status& status() const { return status_; }
  // Marks the archive failed (keeps the first failure).
  void Fail(std::string what);
  bool AtEnd() const { return r_.AtEnd(); }

 private:
  bool Check(const char* what);

  ByteReader r_;
  Status status_;
};

}  // namespace kt::config
