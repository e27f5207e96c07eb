// What typing and pasting in the TCP terminal sends, and how it is echoed.
//
//   - A typed character sends its byte(s): ASCII as one byte, other characters in the
//     terminal's code page. Printable ASCII echoes as typed, other bytes as "<%d>".
//   - Hex input: characters above the blank are hex digits; the first is kept as the high half
//     and sends nothing, the second completes the byte, which is sent and echoed as "<0x%02X>".
//     The blank and control characters are sent as they are and drop a pending high half.
//     Other characters (not hex digits) are ignored.
//   - Escape sends 0x1B.
//   - Paste sends the text in the terminal's code page (UTF-8 for index 9), at most 500 bytes,
//     cut at a character boundary; the log shows the text.
//
// Thread safety: none; one per terminal window.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kt::terminal {

inline constexpr std::size_t kPasteLimit = 500;

struct KeyOutcome {
  std::string bytes;  // to send; empty when nothing is sent
  std::string echo;   // log text (kTyped)
};

class KeyInput {
 public:
  explicit KeyInput(int codepage_index) : codepage_(codepage_index) {}

  // `c` is a Unicode code point (what the key produced).
  KeyOutcome Key(char32_t c, bool hex_mode);
  KeyOutcome Escape();
  KeyOutcome Paste(std::string_view utf8) const;

  bool high_half_pending() const { return pending_.has_value(); }

 private:
  int codepage_;
  std::optional<uint8_t> pending_;  // hex mode: the high half typed first
};

}  // namespace kt::terminal
