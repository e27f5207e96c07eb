#include "tool/terminal/terminal_log.h"

namespace kt::terminal {
namespace {

void AppendDecimal(std::string& out, unsigned char b) { out += "<" + std::to_string(b) + ">"; }

bool Printable(unsigned char b) { return b >= 32 && b < 127; }

}  // namespace

ReceiveHandler::Output ReceiveHandler::Feed(std::string_view bytes, bool respond) {
  Output out;
  for (char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    if (b == 0) continue;
    const bool ends_barcode = b == '\r' || b == '\n';
    if (!ends_barcode) {
      barcode_.erase(0, 1);
      barcode_.push_back(ch);
    }
    if (Printable(b)) {
      out.shown.push_back(ch);
    } else if (!respond && (b == '\r' || b == '\n' || b == '\b')) {
      out.shown.push_back(ch);
    } else {
      AppendDecimal(out.shown, b);
    }
    if (respond && ends_barcode) {
      ++out.screens_due;
      barcode_.assign(kBarcodeLength, ' ');
    }
  }
  return out;
}

std::string EchoSentStream(std::string_view bytes) {
  std::string out;
  for (char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    if (Printable(b)) {
      out.push_back(ch);
    } else {
      AppendDecimal(out, b);
      if (b == '\r' || b == '\n') out.push_back(ch);
    }
  }
  return out;
}

}  // namespace kt::terminal
