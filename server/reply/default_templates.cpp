#include "server/reply/default_templates.h"

namespace kt::reply {

// Clear the display, large font, centred "CONNECTED".
std::string DefaultComConn() { return "{esc}%{esc}B{0x31}{esc}.{0x34}CONNECTED{0x03}"; }

// Clear, small font, the item name on three lines of 18 characters, then the price in the large
// font at the bottom.
std::string DefaultComOk() {
  return "{esc}%{esc}B{0x30}{esc}'{0x30}{0x30}{esc}.{0x3A}LEFT({namaitem},18){0x03}"
         "{esc}'{0x30}{0x31}{esc}.{0x3A}LEFT2(SUBSTR({namaitem},19),18){0x03}"
         "{esc}'{0x30}{0x32}{esc}.{0x3A}SUBSTR({namaitem},37){0x03}"
         "{esc}B{0x31}{esc}.{0x37}{hargajual}{0x03}";
}

// Clear, small font, the error text wrapped into display lines.
std::string DefaultComFail() { return "{esc}%{esc}B{0x30}{errmsg}"; }

}  // namespace kt::reply
