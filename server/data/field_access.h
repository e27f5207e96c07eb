// Reading fields of a work area's current record by name, the way the lookup and the database
// open need it: a field the table lacks is reported as an error box and read as empty.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/event_sink.h"
#include "server/data/driver/date.h"

namespace kt::data {

class WorkArea;

// "FieldName \"NAME\" not found<FIELDGET> !"
std::string MissingFieldMessage(std::string_view field);
// "[Alias : ALIAS] -> FieldName \"NAME\" not found<FIELDLEN> !"
std::string MissingFieldWidthMessage(std::string_view alias, std::string_view field);

std::string FieldText(const WorkArea& area, std::string_view field, EventSink& sink);  // as stored
std::string FieldTrimmed(const WorkArea& area, std::string_view field, EventSink& sink);
double FieldNumber(const WorkArea& area, std::string_view field, EventSink& sink);
bool FieldLogical(const WorkArea& area, std::string_view field, EventSink& sink);
Date FieldDate(const WorkArea& area, std::string_view field, EventSink& sink);

// A number from a table turned into an identifier: values outside 0..65535 (or not whole) give 0.
uint16_t ToId16(double value);
// A number from a table turned into a whole number; NaN and out-of-range values give 0.
int64_t ToInt64(double value);

}  // namespace kt::data
