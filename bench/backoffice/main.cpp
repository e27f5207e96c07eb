// backoffice: changes the items of a data folder while the server reads it (see backoffice.h).
//
//   backoffice DATA [--seconds S] [--appends N] [--prices N] [--codes N] [--price-records A-B]
//              [--code-records A-B] [--seed N] [--log FILE]
// Rates are changes per second. The log goes to FILE (standard output without --log); a summary
// goes to standard error at the end.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

#include "bench/backoffice/backoffice.h"

namespace {

bool ParseRange(const std::string& s, uint32_t& first, uint32_t& last) {
  const auto dash = s.find('-');
  if (dash == std::string::npos) return false;
  char* end = nullptr;
  first = static_cast<uint32_t>(std::strtoul(s.substr(0, dash).c_str(), &end, 10));
  if (*end != '\0') return false;
  last = static_cast<uint32_t>(std::strtoul(s.substr(dash + 1).c_str(), &end, 10));
  return *end == '\0' && first >= 1 && first <= last;
}

int Usage() {
  std::cerr << "usage: backoffice DATA [--seconds S] [--appends N] [--prices N] [--codes N]\n"
               "                  [--price-records A-B] [--code-records A-B] [--seed N] [--log FILE]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  kt::bench::BackOfficeOptions o;
  o.data = argv[1];
  std::string log_path;
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    if (i + 1 >= argc) return Usage();
    const std::string v = argv[++i];
    char* end = nullptr;
    const double number = std::strtod(v.c_str(), &end);
    const bool is_number = *end == '\0' && !v.empty() && number >= 0;
    if (a == "--seconds" && is_number) o.duration = std::chrono::milliseconds(static_cast<int64_t>(number * 1000));
    else if (a == "--appends" && is_number) o.appends_per_second = number;
    else if (a == "--prices" && is_number) o.prices_per_second = number;
    else if (a == "--codes" && is_number) o.codes_per_second = number;
    else if (a == "--seed" && is_number) o.seed = static_cast<uint32_t>(number);
    else if (a == "--price-records" && ParseRange(v, o.price_first, o.price_last)) continue;
    else if (a == "--code-records" && ParseRange(v, o.code_first, o.code_last)) continue;
    else if (a == "--log") log_path = v;
    else return Usage();
  }
  std::ofstream file;
  if (!log_path.empty()) {
    file.open(log_path, std::ios::trunc);
    if (!file) {
      std::cerr << "backoffice: cannot write " << log_path << "\n";
      return 1;
    }
  }
  auto report = kt::bench::RunBackOffice(o, log_path.empty() ? std::cout : file);
  if (!report.ok()) {
    std::cerr << "backoffice: " << report.status().ToString() << "\n";
    return 1;
  }
  const double s = std::chrono::duration<double>(report->elapsed).count();
  std::fprintf(stderr,
               "backoffice: %.1f s: %llu appends (%.1f/s), %llu price changes (%.1f/s), %llu code "
               "changes (%.1f/s); longest change %.2f ms\n",
               s, static_cast<unsigned long long>(report->appends), report->appends / s,
               static_cast<unsigned long long>(report->prices), report->prices / s,
               static_cast<unsigned long long>(report->codes), report->codes / s,
               std::chrono::duration<double, std::milli>(report->longest_change).count());
  return 0;
}
