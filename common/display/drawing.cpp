#include "common/display/drawing.h"

#include <cstdio>

#include "common/display/emulator.h"

namespace kt::display {

std::string HexBytes(std::string_view bytes, std::string_view continuation, std::size_t per_line) {
  if (per_line == 0) per_line = 16;
  std::string out;
  out.reserve(bytes.size() * 3);
  char b[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(b, sizeof b, "%02X", static_cast<unsigned char>(bytes[i]));
    if (i) {
      if (i % per_line == 0) {
        out += continuation;
      } else {
        out += ' ';
      }
    }
    out += b;
  }
  return out;
}

std::string DrawStream(std::string_view title, std::string_view stream, bool hex) {
  DisplayEmulator d;
  d.Feed(stream);
  std::string out(title);
  out += '\n';
  out += d.Render();
  if (hex) {
    out += "  hex ";
    out += HexBytes(stream, "\n      ");
    out += '\n';
  }
  return out;
}

}  // namespace kt::display
