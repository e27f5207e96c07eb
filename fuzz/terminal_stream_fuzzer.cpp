// Hostile bytes through everything that reads a terminal's or an operator's bytes: the line
// reader (network input), the code filter, the reply template expander (operator templates and
// item texts), the error-text wrapping and the display emulator. None may crash, hang or break
// its size promises.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/display/emulator.h"
#include "common/net/line_reader.h"
#include "server/net/code_filter.h"
#include "server/reply/expand.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  kt::net::LineReader reader(64);
  reader.Feed(bytes);
  while (auto line = reader.Next()) {
    if (line->size() > 64) __builtin_trap();
    const std::string code = kt::net::FilterCode(*line);
    if (code.size() > line->size()) __builtin_trap();
  }
  if (reader.pending().size() > 64) __builtin_trap();

  // First third: item name; the rest: the template. The error text is the whole input.
  const std::string_view name = bytes.substr(0, size / 3);
  const kt::reply::ItemTexts item{std::string(name), std::string(name), "X1", "X2"};
  kt::reply::ExpandInputs in;
  in.item = &item;
  in.price_text = [] { return std::string("12.500 / 1 PCS"); };
  in.error_text = bytes;
  const std::string_view tmpl = bytes.substr(size / 3);
  const std::string out = kt::reply::ExpandTemplate(tmpl, in);
  // Reporting the places sent as written changes no byte, and every place lies in the template.
  std::vector<kt::reply::PassedThrough> places;
  in.passed_through = &places;
  if (kt::reply::ExpandTemplate(tmpl, in) != out) __builtin_trap();
  for (const auto& place : places) {
    if (place.length == 0 || place.position + place.length > tmpl.size()) __builtin_trap();
    if (kt::reply::DescribePassedThrough(place, tmpl).empty()) __builtin_trap();
  }

  const std::string wrapped = kt::reply::WrapErrorText(bytes);
  std::size_t run = 0;
  for (char c : wrapped) {
    run = c == '\r' ? 0 : run + 1;
    if (run > 20) __builtin_trap();
  }

  kt::display::DisplayEmulator display;
  display.Feed(bytes);
  display.Feed(out);
  if (display.rows().size() != static_cast<size_t>(kt::display::DisplayEmulator::kRows)) __builtin_trap();
  return 0;
}
