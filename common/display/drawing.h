// The text drawing of a display stream as the terminal shows it: a title line, the framed
// display of DisplayEmulator::Render and, on request, the stream's bytes in hex. kx25sim prints
// it for every reply it receives, ktvistrand-lookup --render for every reply the server would
// send, so both show a reply the same way.
#pragma once

#include <string>
#include <string_view>

namespace kt::display {

// The bytes as two-digit upper-case hex, blank-separated, `per_line` to a line; lines after the
// first begin with `continuation` (for alignment under a label).
std::string HexBytes(std::string_view bytes, std::string_view continuation = "\n", std::size_t per_line = 16);

// title + "\n" + the framed display of `stream` fed to a fresh emulator; with `hex`, one more
// block "  hex 1B 25 ..." with the stream's bytes.
std::string DrawStream(std::string_view title, std::string_view stream, bool hex = false);

}  // namespace kt::display
