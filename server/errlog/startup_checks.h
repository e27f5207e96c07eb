// Checks made at start, before the settings are read.
//
// Numbers are shown with "," as decimal and "." as thousands separator whatever the machine's
// locale says; the number-format check proves that the program's own number text is not bent
// by the environment (a 10-digit value must come out as exactly 10 characters).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kt::errlog {

inline constexpr uint64_t kNumberFormatProbe = 4143442847ULL;
inline constexpr std::string_view kNumberFormatMessage =
    "Your Ms. Windows Regional+Language setting was not acceptable by our application !\r\n"
    "Country Set 'English (United Stated)' is not allowed to be customized modified, except other "
    "country set !";

// The plain text of a whole number as the program shows it: digits only, no grouping.
std::string PlainNumberText(uint64_t value);

// True when PlainNumberText(kNumberFormatProbe) is exactly 10 characters long.
bool NumberFormatAcceptable();

// Raises the open-file soft limit to the hard limit (every terminal holds a socket and six
// tables with their indexes). Returns the soft limit in force afterwards.
uint64_t RaiseOpenFileLimit();

}  // namespace kt::errlog
