// Field values to and from their stored bytes inside a record.
//
// Stored forms: C left-aligned, blank padded; N/F right-aligned decimal text (blank = 0); L one
// of T/t/Y/y (true) or F/f/N/n/blank/? (false); D "YYYYMMDD" or blank; I little-endian int32;
// B little-endian double; Y little-endian int64 of value * 10000.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "server/data/driver/date.h"
#include "server/data/driver/dbf_header.h"

namespace kt::data {

// True for the types whose value is numeric (N, F, I, B, Y).
bool IsNumericType(char type);

// The numeric value of stored bytes; blank gives 0. nullopt for text that is no number
// (e.g. an overflow of '*').
std::optional<double> ParseNumber(const DbfField& field, std::string_view stored);
// The same by the field's type letter alone.
std::optional<double> ParseNumber(char type, std::string_view stored);

// N/F stored text trimmed of blanks ("-25.00"); "" when blank.
std::string TrimmedNumberText(std::string_view stored);

// `value` with `decimals` digits after a "." (never the locale's separator), right-aligned in
// `width` characters; nullopt when it does not fit or is not finite.
std::optional<std::string> FormatFixed(double value, int width, int decimals);

// The stored text of `value` in an N/F field of this width and decimals, right-aligned;
// nullopt when it does not fit.
std::optional<std::string> FormatNumber(double value, int width, int decimals);

bool ParseLogical(std::string_view stored);

// Blank date for blank or unreadable text.
Date ParseDate(std::string_view stored);

// Bytes of an empty value of this field (blanks, or zeros for binary types).
std::string BlankValue(const DbfField& field);

}  // namespace kt::data
