#include "server/errlog/startup_checks.h"

#include <charconv>

namespace kt::errlog {

std::string PlainNumberText(uint64_t value) {
  char buf[24];
  // to_chars never consults the locale, unlike printf and iostreams.
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  return ec == std::errc() ? std::string(buf, end) : std::string();
}

bool NumberFormatAcceptable() { return PlainNumberText(kNumberFormatProbe).size() == 10; }

}  // namespace kt::errlog
