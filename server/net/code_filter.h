// Scanned-code filter and the small text helpers of the terminal protocol.
#pragma once

#include <string>
#include <string_view>

namespace kt::net {

// Drops the first character of a received line, then keeps only bytes 0x30-0x39 and 0x41-0x7A
// (digits, letters and the six characters between "Z" and "a"). The result may be empty.
std::string FilterCode(std::string_view line);

// True when the line is empty or holds only blanks, tabs, CR and LF.
bool IsBlankLine(std::string_view line);

// Current local time of day as hh:mm:ss (24-hour clock), for log lines.
std::string TimeOfDayText();

}  // namespace kt::net
