#include "server/errlog/startup_checks.h"

#include <sys/resource.h>

#include <charconv>

namespace kt::errlog {

std::string PlainNumberText(uint64_t value) {
  char buf[24];
  // to_chars never consults the locale, unlike printf and iostreams.
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  return ec == std::errc() ? std::string(buf, end) : std::string();
}

bool NumberFormatAcceptable() { return PlainNumberText(kNumberFormatProbe).size() == 10; }

uint64_t RaiseOpenFileLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
  if (limit.rlim_cur < limit.rlim_max) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max;
    if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  return static_cast<uint64_t>(limit.rlim_cur);
}

}  // namespace kt::errlog
