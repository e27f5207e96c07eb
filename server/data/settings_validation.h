// The checks of the settings dialog's "&Simpan", as a pure function over the dialog's values.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace kt::data {

// What the operator entered.
struct SettingsForm {
  std::string location;  // "Lokasi Data :"
  std::string port;      // "Port :" as typed
  uint16_t price_level = 0;  // 0..5 from the list
  std::string com_conn, com_ok, com_fail;
};

enum class SettingsField { kNone, kLocation, kPort, kComConn, kComOk, kComFail };

// The outcome: ok with the values to store, or the first failing message and its field.
struct SettingsCheck {
  bool ok = false;
  std::string message;
  SettingsField field = SettingsField::kNone;
  // When ok: the location to store (trimmed, trailing separator, without a final "ST_DB"
  // folder) and the port.
  std::string location;
  uint16_t port = 0;
};

// Characters the FOLDER field of the settings table holds.
inline constexpr std::size_t kFolderFieldWidth = 200;
// Characters each template field (COM_CONN, COM_OK, COM_FAIL) holds.
inline constexpr std::size_t kTemplateFieldWidth = 500;

// Checks the form in the dialog's order and stops at the first failure. `folder_exists` answers
// whether a folder exists (the real file system by default).
SettingsCheck ValidateSettings(
    const SettingsForm& form,
    const std::function<bool(const std::filesystem::path&)>& folder_exists = {});

}  // namespace kt::data
