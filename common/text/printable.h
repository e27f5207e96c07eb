// Text from the network (a terminal's scanned line, a device name, a firmware text) made safe to
// show on a console or to write into a log: a received byte must never move the cursor, retitle
// the window or clear the screen.
//
// Control characters become "\xNN": the C0 controls (0x00-0x1F), DEL (0x7F), the C1 controls
// written as UTF-8 (C2 80 - C2 9F) and lone bytes 0x80-0x9F that are not part of a UTF-8
// sequence (an 8-bit console takes them as C1 controls). Everything else, including other UTF-8
// sequences and 8-bit text letters (0xA0-0xFF), stays as it is.
#pragma once

#include <string>
#include <string_view>

namespace kt::text {

// Appends `text` to `out` with its control characters escaped.
void AppendPrintable(std::string& out, std::string_view text);

// `text` with its control characters escaped.
std::string Printable(std::string_view text);

}  // namespace kt::text
