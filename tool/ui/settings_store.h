// The tool settings in QSettings: per user on Linux (a per-machine file needs root), under the
// vendor "Vistrand ID" and application "KX25 Config Tool", with the value names and types the
// tool has always used: two strings and three 32-bit numbers.
#pragma once

#include "tool/config/tool_settings.h"

namespace kt::ui {

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // What storage holds; key_existed is true when any value is present.
  virtual config::StoredToolSettings Load() = 0;
  // Writes all five values. A store that cannot be written keeps its old values, silently.
  virtual void Save(const config::ToolSettings& settings) = 0;
};

class QSettingsStore : public SettingsStore {
 public:
  config::StoredToolSettings Load() override;
  void Save(const config::ToolSettings& settings) override;
};

}  // namespace kt::ui
