#include "server/net/code_filter.h"

#include <ctime>

#include "common/text/text.h"

namespace kt::net {

std::string FilterCode(std::string_view line) {
  std::string code;
  if (line.empty()) return code;
  for (char ch : line.substr(1)) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c >= 0x30 && c <= 0x39) || (c >= 0x41 && c <= 0x7A)) code.push_back(ch);
  }
  return code;
}

bool IsBlankLine(std::string_view line) {
  return text::IsBlank(line, text::kWhitespace);
}

std::string TimeOfDayText() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char buf[16];
  std::strftime(buf, sizeof buf, "%H:%M:%S", &tm);
  return buf;
}

}  // namespace kt::net
