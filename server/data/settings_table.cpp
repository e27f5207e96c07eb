#include "server/data/settings_table.h"

#include <fstream>
#include <iterator>
#include <span>
#include <system_error>

#include "common/text/text.h"
#include "common/platform/files/native_file.h"
#include "server/data/database.h"
#include "server/data/driver/file_lookup.h"
#include "server/data/driver/work_area.h"
#include "server/data/field_access.h"
#include "server/reply/default_templates.h"

namespace kt::data {

namespace {

constexpr std::string_view kPort = "PORT";
constexpr std::string_view kFolder = "FOLDER";
constexpr std::string_view kPriceLevel = "HARGA_JUAL";
constexpr std::string_view kComConn = "COM_CONN";
constexpr std::string_view kComOk = "COM_OK";
constexpr std::string_view kComFail = "COM_FAIL";
constexpr uint16_t kTemplateWidth = 500;
constexpr uint16_t kHighestPriceLevel = 5;

std::filesystem::path SettingsPath(const std::filesystem::path& working_folder) {
  if (auto found = FindFileIgnoringCase(working_folder, kSettingsFileName)) return *found;
  return working_folder / std::string(kSettingsFileName);
}

Status WriteValues(WorkArea& area, const ConfigValues& values) {
  KT_RETURN_IF_ERROR(area.PutNumber(kPort, values.WCONFIGPORT));
  KT_RETURN_IF_ERROR(area.PutString(kFolder, values.location));
  KT_RETURN_IF_ERROR(area.PutNumber(kPriceLevel, values.WCONFIGHARGAJUAL));
  KT_RETURN_IF_ERROR(area.PutString(kComConn, values.CCONFIGCOMCONN));
  KT_RETURN_IF_ERROR(area.PutString(kComOk, values.CCONFIGCOMOK));
  KT_RETURN_IF_ERROR(area.PutString(kComFail, values.CCONFIGCOMFAIL));
  return area.Commit();
}

ConfigValues DefaultValues() {
  ConfigValues values;
  values.WCONFIGPORT = net::kDefaultServerPort;
  values.WCONFIGHARGAJUAL = 0;
  values.CCONFIGCOMCONN = reply::DefaultComConn();
  values.CCONFIGCOMOK = reply::DefaultComOk();
  values.CCONFIGCOMFAIL = reply::DefaultComFail();
  return values;
}

std::string TrimmedField(const WorkArea& area, std::string_view field) {
  return std::string(text::Trim(area.GetString(field).value_or("")));
}

// Templates lose only their trailing blanks: leading blanks may be display content.
std::string TemplateField(const WorkArea& area, std::string_view field) {
  return std::string(text::TrimRight(area.GetString(field).value_or("")));
}

Result<std::unique_ptr<WorkArea>> OpenTable(const std::filesystem::path& path, bool shared) {
  OpenOptions options;
  options.shared = shared;
  options.read_only = false;
  options.open_index = false;
  return WorkArea::Open(path, std::string(kSettingsAlias), options);
}

std::string ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The table with `values` in its record, through a scratch copy "<name>.new" beside it.
Status RewriteWithValues(const std::filesystem::path& path, const ConfigValues& values) {
  std::filesystem::path scratch = path;
  scratch += ".new";
  std::error_code ec;
  std::filesystem::remove(scratch, ec);
  std::filesystem::copy_file(path, scratch, ec);
  if (ec) return Status::IOError("cannot copy " + path.string() + ": " + ec.message());
  Status st = [&]() -> Status {
    KT_ASSIGN_OR_RETURN(std::unique_ptr<WorkArea> copy, OpenTable(scratch, /*shared=*/false));
    KT_RETURN_IF_ERROR(copy->GoTop());
    if (copy->Eof()) KT_RETURN_IF_ERROR(copy->AppendBlank());
    KT_RETURN_IF_ERROR(WriteValues(*copy, values));
    return copy->Commit();  // closed as it goes
  }();
  const std::string bytes = st.ok() ? ReadWholeFile(scratch) : std::string();
  std::filesystem::remove(scratch, ec);
  KT_RETURN_IF_ERROR(st);
  if (bytes.empty()) return Status::IOError("cannot read back " + scratch.string());
  return platform::ReplaceFileContents(path, std::as_bytes(std::span(bytes.data(), bytes.size())));
}

}  // namespace

std::vector<FieldSpec> SettingsTableFields() {
  return {
      {std::string(kPort), 'N', 5, 0},
      {std::string(kFolder), 'C', static_cast<uint16_t>(kFolderFieldWidth), 0},
      {std::string(kPriceLevel), 'N', 1, 0},
      {std::string(kComConn), 'C', kTemplateWidth, 0},
      {std::string(kComOk), 'C', kTemplateWidth, 0},
      {std::string(kComFail), 'C', kTemplateWidth, 0},
  };
}

KTCONFIG::KTCONFIG(std::unique_ptr<WorkArea> area, std::filesystem::path path)
    : area_(std::move(area)), path_(std::move(path)) {}

KTCONFIG::~KTCONFIG() {
  Status ignored = Close();
  (void)ignored;
}

Result<std::unique_ptr<KTCONFIG>> KTCONFIG::Open(const std::filesystem::path& working_folder) {
  const std::filesystem::path path = SettingsPath(working_folder);
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) KT_RETURN_IF_ERROR(WorkArea::Create(path, SettingsTableFields()));

  KT_ASSIGN_OR_RETURN(std::unique_ptr<WorkArea> area, OpenTable(path, /*shared=*/true));
  for (const FieldSpec& field : SettingsTableFields()) {
    if (area->FieldPos(field.name) == 0) {
      return Status::Corruption(path.string() + ": settings table has no field " + field.name);
    }
  }
  KT_ASSIGN_OR_RETURN(const uint32_t records, area->RecCount());
  if (records == 0) {
    KT_RETURN_IF_ERROR(area->AppendBlank());
    KT_RETURN_IF_ERROR(WriteValues(*area, DefaultValues()));
  }
  KT_RETURN_IF_ERROR(area->SetOrder(""));
  KT_RETURN_IF_ERROR(area->GoTop());
  return std::unique_ptr<KTCONFIG>(new KTCONFIG(std::move(area), path));
}

Status KTCONFIG::CONFIGREAD(GLOBALVARIABLE& globals) {
  if (area_ == nullptr) return Status::InvalidArgument("settings table is closed");
  KT_RETURN_IF_ERROR(area_->GoTop());
  ConfigValues values;
  KT_ASSIGN_OR_RETURN(const double port, area_->GetNumber(kPort));
  values.WCONFIGPORT = ToId16(port);
  values.location = TrimmedField(*area_, kFolder);
  KT_ASSIGN_OR_RETURN(const double level, area_->GetNumber(kPriceLevel));
  const uint16_t stored_level = ToId16(level);
  values.WCONFIGHARGAJUAL = stored_level <= kHighestPriceLevel ? stored_level : 0;
  values.CCONFIGCOMCONN = TemplateField(*area_, kComConn);
  values.CCONFIGCOMOK = TemplateField(*area_, kComOk);
  values.CCONFIGCOMFAIL = TemplateField(*area_, kComFail);
  globals.SetConfig(std::move(values));
  return Status::Ok();
}

Result<std::string> KTCONFIG::StoredFolder() {
  if (area_ == nullptr) return Status::InvalidArgument("settings table is closed");
  KT_RETURN_IF_ERROR(area_->GoTop());
  KT_ASSIGN_OR_RETURN(const std::string folder, area_->GetString(kFolder));
  return std::string(text::Trim(folder));
}

Status KTCONFIG::Write(const ConfigValues& values) {
  if (area_ == nullptr) return Status::InvalidArgument("settings table is closed");
  KT_RETURN_IF_ERROR(area_->Commit());
  area_.reset();  // Windows replaces no file that is open without leave to delete it
  const Status written = RewriteWithValues(path_, values);
  auto reopened = OpenTable(path_, /*shared=*/true);
  if (!reopened.ok()) return written.ok() ? reopened.status() : written;
  area_ = std::move(*reopened);
  KT_RETURN_IF_ERROR(written);
  return area_->GoTop();
}

Status KTCONFIG::Close() {
  if (area_ == nullptr) return Status::Ok();
  Status committed = area_->Commit();
  area_.reset();
  return committed;
}

Status LoadSettings(const std::filesystem::path& working_folder, GLOBALVARIABLE& globals) {
  KT_ASSIGN_OR_RETURN(std::unique_ptr<KTCONFIG> config, KTCONFIG::Open(working_folder));
  KT_RETURN_IF_ERROR(config->CONFIGREAD(globals));
  return config->Close();
}

SettingsForm FormFromGlobals(const GLOBALVARIABLE& globals) {
  const ConfigValues values = globals.StoredConfig();  // never this run's --port or --data
  SettingsForm form;
  form.location = values.location;
  form.port = std::to_string(values.WCONFIGPORT);
  form.price_level = values.WCONFIGHARGAJUAL;
  form.com_conn = values.CCONFIGCOMCONN;
  form.com_ok = values.CCONFIGCOMOK;
  form.com_fail = values.CCONFIGCOMFAIL;
  return form;
}

Result<SaveResult> SaveSettings(const std::filesystem::path& working_folder, const SettingsForm& form,
                                GLOBALVARIABLE& globals, EventSink& sink) {
  SaveResult result;
  result.check = ValidateSettings(form);
  if (!result.check.ok) return result;

  KT_ASSIGN_OR_RETURN(std::unique_ptr<KTCONFIG> config, KTCONFIG::Open(working_folder));
  KT_ASSIGN_OR_RETURN(const std::string stored_folder, config->StoredFolder());
  result.location_changed = text::UpperAscii(stored_folder) != text::UpperAscii(text::Trim(result.check.location));

  ConfigValues values;
  values.location = result.check.location;
  values.WCONFIGPORT = result.check.port;
  values.WCONFIGHARGAJUAL = form.price_level <= kHighestPriceLevel ? form.price_level : 0;
  values.CCONFIGCOMCONN = std::string(text::TrimRight(form.com_conn));
  values.CCONFIGCOMOK = std::string(text::TrimRight(form.com_ok));
  values.CCONFIGCOMFAIL = std::string(text::TrimRight(form.com_fail));
  KT_RETURN_IF_ERROR(config->Write(values));

  // Compared with the stored port: a --port of this run is no change the user made.
  const bool port_changed = values.WCONFIGPORT != globals.StoredConfig().WCONFIGPORT;
  KT_RETURN_IF_ERROR(config->CONFIGREAD(globals));
  KT_RETURN_IF_ERROR(config->Close());
  if (port_changed) {
    result.outcome = SaveOutcome::kRestartRequired;
    return result;
  }
  result.outcome = SaveOutcome::kSaved;
  // A --data of this run stays in force; the new location serves from the next start.
  if (result.location_changed && !globals.Overrides().location) {
    result.database_opened = DBMAINOPEN(globals, sink);
  }
  return result;
}

}  // namespace kt::data
