// Small text steps shared by the server, the tool, the simulators and the benchmarks: ASCII
// upper case, trimming a set of blank characters, and reading numbers. Everything is
// locale-independent: a window process runs under the user's locale, and a table key or a port
// must read the same there as in the service.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kt::text {

// Sets of characters that count as blanks when trimming.
inline constexpr std::string_view kBlank = " ";
// Stored table fields: blanks, and the NUL bytes some writers pad with.
inline constexpr std::string_view kBlankOrNul{" \0", 2};
// Lines of text: blanks, tabs and line ends.
inline constexpr std::string_view kWhitespace = " \t\r\n";

// 'a'-'z' become 'A'-'Z'; every other byte (also 8-bit letters) stays as it is.
char UpperAscii(char c);
std::string UpperAscii(std::string_view text);

// `text` without the characters of `blanks` at its start, end, or both.
std::string_view TrimLeft(std::string_view text, std::string_view blanks = kBlank);
std::string_view TrimRight(std::string_view text, std::string_view blanks = kBlank);
std::string_view Trim(std::string_view text, std::string_view blanks = kBlank);

// True when `text` is empty or holds only characters of `blanks`.
bool IsBlank(std::string_view text, std::string_view blanks = kBlank);

// The leading number of a text as the xBase VAL() reads it: leading blanks, an optional sign,
// digits with at most one "."; anything after that is ignored. 0 when the text does not start
// with a number ("abc", "-", ".", "inf").
double LeadingNumber(std::string_view text);

// The whole of `text` as an integer in [lo, hi] written in `base`: digits and an optional leading
// "-", nothing else (no blanks, no "+"). Nothing when it is empty, malformed or out of range.
std::optional<long long> ParseInteger(std::string_view text, long long lo, long long hi, int base = 10);

// As ParseInteger in base 10, but read as C's strtol reads a whole text: leading white space
// (" \t\n\v\f\r") and a "+" sign are accepted too.
std::optional<long long> ParseIntegerLenient(std::string_view text, long long lo, long long hi);

}  // namespace kt::text
