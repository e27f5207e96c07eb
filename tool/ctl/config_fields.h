// The settings of a terminal configuration as name=value text: what `kx25ctl show` prints and
// what `kx25ctl apply name=value` changes. One table names every field once.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/status.h"
#include "tool/config/configuration.h"

namespace kt::ctl {

// Every field as (name, value), in a fixed order; fields that do not apply to the record's
// version (offline line or Retalix block) are left out.
std::vector<std::pair<std::string, std::string>> FormatConfiguration(const config::Configuration& c);

// Sets one field from text. Fails with InvalidArgument for an unknown or read-only name or a
// value that does not fit the field; `c` is then unchanged.
Status SetField(config::Configuration& c, std::string_view name, std::string_view value);

// Parses "name=value" and sets it.
Status ApplyAssignment(config::Configuration& c, std::string_view assignment);

}  // namespace kt::ctl
