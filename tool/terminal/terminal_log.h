// What the TCP terminal's log shows: the rules for bytes received, for streams sent and for
// typed bytes. No sockets here; TerminalSession feeds these and passes the pieces on.
//
// Received bytes (ReceiveHandler):
//   - CR or LF ends a barcode; any other byte joins the barcode buffer (its last 20 bytes kept).
//   - Shown: 32-126 as themselves. Control bytes as "<%d>" when "respond to barcodes" is on;
//     otherwise CR, LF and backspace as themselves and other control bytes as "<%d>". DEL and
//     bytes from 0x80 up are shown as "<%d>" too (never dropped: a raw terminal hides nothing;
//     they are not decoded because a UTF-8 character may arrive split over two reads). NUL is
//     skipped.
//   - With "respond to barcodes" on, every byte that ends a barcode asks for one demonstration
//     screen (so CR LF asks twice) and resets the buffer.
// Sent streams: printable bytes as themselves, CR and LF as "<%d>" followed by the byte itself,
// every other byte as "<%d>".
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kt::terminal {

// How a piece of the log is coloured.
enum class LogKind {
  kReceived,  // light blue: what the terminal sent
  kSent,      // red: streams the tool sent (greeting, screens)
  kTyped,     // white: echo of typed and pasted bytes
  kNotice,    // the tool's own lines ("<<<Connection Terminated>>>", errors)
};

struct LogPiece {
  LogKind kind = LogKind::kNotice;
  std::string text;
};

inline constexpr const char* kConnectionTerminated = "<<<Connection Terminated>>>";

class ReceiveHandler {
 public:
  static constexpr std::size_t kBarcodeLength = 20;

  struct Output {
    std::string shown;    // log text for these bytes
    int screens_due = 0;  // demonstration screens to send (respond mode)
  };

  // Handles bytes as they arrive (any split). `respond` is the state of "respond to barcodes".
  Output Feed(std::string_view bytes, bool respond);

  // The last 20 bytes of the barcode being received, padded on the left with blanks.
  const std::string& barcode() const { return barcode_; }

 private:
  std::string barcode_ = std::string(kBarcodeLength, ' ');
};

// The log text of a stream the tool sent.
std::string EchoSentStream(std::string_view bytes);

}  // namespace kt::terminal
