// Index key bytes: values encoded so that comparing the bytes unsigned (memcmp) orders the
// values. Numbers and dates take 8 bytes (a transformed big-endian double; a date is its Julian
// day number), logicals 1 byte ('T'/'F'), characters their raw bytes padded with blanks.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "server/data/driver/date.h"

namespace kt::data {

struct Value;  // expression.h

inline constexpr int kNumericKeyLength = 8;

std::string EncodeNumberKey(double value);
// Keys of 4 bytes in a numeric tag (written by some engines for integer fields): the value
// rounded to an int32, stored big-endian with the sign bit flipped.
inline constexpr int kIntegerKeyLength = 4;
std::string EncodeIntegerKey(double value);
// REQUIRES: key.size() == 8.
double DecodeNumberKey(std::string_view key);
std::string EncodeDateKey(const Date& date);  // blank date -> the key of 0
std::string EncodeLogicalKey(bool value);
// `text` cut or blank-padded to `key_length`.
std::string EncodeCharKey(std::string_view text, int key_length);

// The key bytes of an evaluated expression value: characters cut or padded to `key_length`.
std::string EncodeKeyValue(const Value& value, int key_length);

// Pad byte of trailing compression in index leaves: blank for character keys, 0 otherwise.
inline uint8_t KeyPadByte(char key_type) { return key_type == 'C' ? 0x20 : 0x00; }

}  // namespace kt::data
