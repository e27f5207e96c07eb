// Parses and evaluates arbitrary key / FOR expressions against a fixed record layout.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "server/data/driver/expression.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using kt::data::DbfField;
  static const std::vector<DbfField> fields = {
      {"CODE", 'C', 10, 0, 0, 1}, {"AMOUNT", 'N', 12, 2, 0, 11}, {"TGL", 'D', 8, 0, 0, 23},
      {"OK", 'L', 1, 0, 0, 31}};
  static const std::string record = std::string(" ABC123    ") + "    -25.00  " + "20240102" + "T";
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto expr = kt::data::Expression::Parse(text, fields);
  if (expr.ok()) {
    auto ignored = expr->Evaluate(record);
    (void)ignored;
  }
  return 0;
}
