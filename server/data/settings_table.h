// KTCONFIG: the server's one-record settings table KTVISTRD.DAT in its working folder, and the
// steps around it: open (creating the file and its record with the defaults), CONFIGREAD, save.
//
// Thread safety: used from the window thread only.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/event_sink.h"
#include "common/status.h"
#include "server/data/global_variable.h"
#include "server/data/settings_validation.h"

namespace kt::data {

class WorkArea;
struct FieldSpec;

inline constexpr std::string_view kSettingsFileName = "KTVISTRD.DAT";
inline constexpr std::string_view kSettingsAlias = "KTCONFIG";

// PORT N(5,0), FOLDER C(200), HARGA_JUAL N(1,0), COM_CONN C(500), COM_OK C(500), COM_FAIL C(500).
std::vector<FieldSpec> SettingsTableFields();

class KTCONFIG {
 public:
  // Opens KTVISTRD.DAT in `working_folder` shared and read-write; creates it when it does not
  // exist and appends the default record when it has none. Fails when the file cannot be
  // created or opened, or lacks one of the six fields.
  static Result<std::unique_ptr<KTCONFIG>> Open(const std::filesystem::path& working_folder);
  ~KTCONFIG();
  KTCONFIG(const KTCONFIG&) = delete;
  KTCONFIG& operator=(const KTCONFIG&) = delete;

  // Copies the record into `globals` (strings trimmed).
  Status CONFIGREAD(GLOBALVARIABLE& globals);
  // The stored FOLDER, trimmed.
  Result<std::string> StoredFolder();
  // Writes the six fields safely: a copy of the table takes them, reaches the disk and then
  // replaces the table in one step (common/platform/files/native_file.h), so a failure at any
  // point (a full disk, a power cut) leaves the old settings whole. The table is open again
  // afterwards, with the new values or, after a failure, the old ones.
  Status Write(const ConfigValues& values);
  // Commits and closes; also done by the destructor.
  Status Close();

 private:
  KTCONFIG(std::unique_ptr<WorkArea> area, std::filesystem::path path);
  std::unique_ptr<WorkArea> area_;
  std::filesystem::path path_;
};

// Start-up: open KTCONFIG, CONFIGREAD, close. A failure means the program must end.
Status LoadSettings(const std::filesystem::path& working_folder, GLOBALVARIABLE& globals);

enum class SaveOutcome {
  kInvalid,          // a check failed; nothing saved
  kSaved,            // saved; new templates and level apply to the next reply and lookup
  kRestartRequired,  // saved with a new port: show the restart notice and end the server
};

struct SaveResult {
  SaveOutcome outcome = SaveOutcome::kInvalid;
  SettingsCheck check;             // the failing message and field when kInvalid
  bool location_changed = false;   // the stored location changed; the database was opened again
                                   // there unless a --data of this run is in force
  bool database_opened = false;    // result of that open
};

// "&Simpan": validates `form`, writes the settings table, CONFIGREAD, and when only the location
// changed opens the database again at the new location (DBMAINOPEN). An I/O failure is returned
// as an error; nothing is half-written into `globals`.
Result<SaveResult> SaveSettings(const std::filesystem::path& working_folder, const SettingsForm& form,
                                GLOBALVARIABLE& globals, EventSink& sink);

// The dialog's fields as the settings table holds them (the dialog is filled from the settings
// object's stored values, never from this run's overrides).
SettingsForm FormFromGlobals(const GLOBALVARIABLE& globals);

}  // namespace kt::data
