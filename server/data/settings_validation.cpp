#include "server/data/settings_validation.h"

#include <system_error>

#include "common/text/text.h"
#include "server/data/data_folder.h"
#include "server/data/messages.h"

namespace kt::data {

namespace {

SettingsCheck Fail(std::string message, SettingsField field) {
  SettingsCheck check;
  check.message = std::move(message);
  check.field = field;
  return check;
}

// Data folders come from Windows machines: "ST_DB" may be spelt in any letter case.
bool RealFolderExists(const std::filesystem::path& folder) {
  std::error_code ec;
  if (std::filesystem::is_directory(folder, ec)) return true;
  const std::filesystem::path found = FindEntryIgnoringCase(folder.parent_path(), folder.filename().string());
  return !found.empty() && std::filesystem::is_directory(found, ec);
}

// A network resource: "\\server\share" (and on this platform "//server/share"). A single leading
// "\" names the root of the current drive, which the rule refuses too.
bool IsNetworkPath(std::string_view location) {
  if (location.empty()) return false;
  if (location.front() == '\\') return true;
  return location.size() >= 2 && location[0] == '/' && location[1] == '/';
}

}  // namespace

SettingsCheck ValidateSettings(const SettingsForm& form,
                               const std::function<bool(const std::filesystem::path&)>& folder_exists) {
  const auto exists = folder_exists ? folder_exists : RealFolderExists;

  // 1. Location given.
  if (text::Trim(form.location).empty()) {
    return Fail(std::string(msg::kLocationEmpty), SettingsField::kLocation);
  }
  // 2. No network path.
  std::string location(text::Trim(form.location));
  if (!IsPathSeparator(location.back())) location += kPathSeparator;
  if (IsNetworkPath(location)) {
    return Fail(std::string(msg::kNetworkPathPrefix) + location + std::string(msg::kLocationClose),
                SettingsField::kLocation);
  }
  // 3. The data folder exists below the location (a typed "ST_DB" folder is taken off first).
  location = StoredLocation(location);
  if (!exists(std::filesystem::path(location) / std::string(kDataFolderName))) {
    return Fail(std::string(msg::kDataFolderMissingPrefix) + location + std::string(msg::kLocationClose),
                SettingsField::kLocation);
  }
  // 4. No "." or ",".
  if (location.find_first_of(".,") != std::string::npos) {
    return Fail(std::string(msg::kLocationDotComma), SettingsField::kLocation);
  }
  // The settings table must hold the location whole.
  if (location.size() > kFolderFieldWidth) {
    return Fail(std::string(msg::kLocationTooLongPrefix) + std::to_string(kFolderFieldWidth) +
                    std::string(msg::kLocationTooLongSuffix),
                SettingsField::kLocation);
  }
  // 5., 6. Port.
  const std::string_view port_text = text::Trim(form.port);
  if (port_text.empty()) return Fail(std::string(msg::kPortEmpty), SettingsField::kPort);
  const double port = text::LeadingNumber(port_text);
  if (port < 1000 || port > 65535) return Fail(std::string(msg::kPortWrong), SettingsField::kPort);
  // 7.-9. Templates.
  if (text::Trim(form.com_conn).empty()) return Fail(std::string(msg::kComConnEmpty), SettingsField::kComConn);
  if (text::Trim(form.com_ok).empty()) return Fail(std::string(msg::kComOkEmpty), SettingsField::kComOk);
  if (text::Trim(form.com_fail).empty()) return Fail(std::string(msg::kComFailEmpty), SettingsField::kComFail);
  // The settings table must hold each template whole: a cut template loses its last commands.
  const struct {
    const std::string& text;
    std::string_view name;
    SettingsField field;
  } templates[] = {{form.com_conn, "Connected", SettingsField::kComConn},
                   {form.com_ok, "Scan OK", SettingsField::kComOk},
                   {form.com_fail, "Scan Gagal", SettingsField::kComFail}};
  for (const auto& t : templates) {
    if (text::TrimRight(t.text).size() > kTemplateFieldWidth) {
      return Fail("Command " + std::string(t.name) + std::string(msg::kTemplateTooLongInfix) +
                      std::to_string(kTemplateFieldWidth) + std::string(msg::kLocationTooLongSuffix),
                  t.field);
    }
  }

  SettingsCheck check;
  check.ok = true;
  check.location = std::move(location);
  check.port = static_cast<uint16_t>(port);
  return check;
}

}  // namespace kt::data
