#include "server/data/field_access.h"

#include <cmath>
#include <limits>

#include "common/text/text.h"
#include "server/data/driver/work_area.h"

namespace kt::data {

namespace {

template <typename T>
T ValueOrReport(Result<T> result, std::string_view field, EventSink& sink, T fallback) {
  if (result.ok()) return std::move(result).value();
  // Only a missing field is the operator's business; a read error leaves the value empty too.
  if (result.status().IsNotFound()) sink.ErrorBox(MissingFieldMessage(field));
  return fallback;
}

}  // namespace

std::string MissingFieldMessage(std::string_view field) {
  return "FieldName \"" + std::string(field) + "\" not found<FIELDGET> !";
}

std::string MissingFieldWidthMessage(std::string_view alias, std::string_view field) {
  return "[Alias : " + std::string(alias) + "] -> FieldName \"" + std::string(field) +
         "\" not found<FIELDLEN> !";
}

std::string FieldText(const WorkArea& area, std::string_view field, EventSink& sink) {
  return ValueOrReport<std::string>(area.GetString(field), field, sink, {});
}

std::string FieldTrimmed(const WorkArea& area, std::string_view field, EventSink& sink) {
  return std::string(text::Trim(FieldText(area, field, sink)));
}

double FieldNumber(const WorkArea& area, std::string_view field, EventSink& sink) {
  const double value = ValueOrReport<double>(area.GetNumber(field), field, sink, 0.0);
  return std::isfinite(value) ? value : 0.0;
}

bool FieldLogical(const WorkArea& area, std::string_view field, EventSink& sink) {
  return ValueOrReport<bool>(area.GetLogical(field), field, sink, false);
}

Date FieldDate(const WorkArea& area, std::string_view field, EventSink& sink) {
  return ValueOrReport<Date>(area.GetDate(field), field, sink, Date{});
}

uint16_t ToId16(double value) {
  if (!std::isfinite(value) || value < 0 || value > 65535) return 0;
  return static_cast<uint16_t>(std::llround(value));
}

int64_t ToInt64(double value) {
  // 2^53: beyond it a double no longer holds every whole number.
  constexpr double kLimit = 9007199254740992.0;
  if (!std::isfinite(value) || value > kLimit || value < -kLimit) return 0;
  return static_cast<int64_t>(std::llround(value));
}

}  // namespace kt::data
