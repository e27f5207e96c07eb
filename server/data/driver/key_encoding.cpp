#include "server/data/driver/key_encoding.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/coding.h"
#include "server/data/driver/expression.h"

namespace kt::data {

std::string EncodeNumberKey(double value) {
  if (value == 0) value = 0;  // -0.0 sorts as +0.0
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  if (bits >> 63) {
    bits = ~bits;
  } else {
    bits |= uint64_t{1} << 63;
  }
  std::string key(8, '\0');
  EncodeFixedBE64(key.data(), bits);
  return key;
}

std::string EncodeIntegerKey(double value) {
  const double clamped = value != value ? 0 : std::clamp(std::round(value), -2147483648.0, 2147483647.0);
  const auto v = static_cast<int32_t>(clamped);
  std::string key(4, '\0');
  EncodeFixedBE32(key.data(), static_cast<uint32_t>(v) ^ 0x80000000u);
  return key;
}

double DecodeNumberKey(std::string_view key) {
  uint64_t bits = DecodeFixedBE64(key.data());
  if (bits >> 63) {
    bits &= ~(uint64_t{1} << 63);
  } else {
    bits = ~bits;
  }
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

std::string EncodeDateKey(const Date& date) {
  return EncodeNumberKey(static_cast<double>(date.ToJulianDay()));
}

std::string EncodeLogicalKey(bool value) { return std::string(1, value ? 'T' : 'F'); }

std::string EncodeCharKey(std::string_view text, int key_length) {
  std::string key(text.substr(0, static_cast<std::size_t>(key_length)));
  key.resize(static_cast<std::size_t>(key_length), ' ');
  return key;
}

}  // namespace kt::data

namespace kt::data {

std::string EncodeKeyValue(const Value& value, int key_length) {
  switch (value.type) {
    case 'N': return EncodeNumberKey(value.number);
    case 'D': return EncodeDateKey(value.date);
    case 'L': return EncodeLogicalKey(value.logical);
    default: return EncodeCharKey(value.text, key_length);
  }
}

}  // namespace kt::data
