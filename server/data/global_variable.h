// GLOBALVARIABLE: the server's global settings object. It holds the six settings read from the
// settings table (CONFIGREAD), the self-test text, and what the last database open loaded: the
// control record, the lists, the unit sets and the item-code widths, plus the database-open flag.
//
// Thread safety: every member function may be called from any thread. Settings are replaced as
// a whole (a save swaps them between two replies); the database part is an immutable snapshot
// published by DBMAINOPEN, and a reader keeps the snapshot it took for as long as it needs it.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/net/server_port.h"
#include "server/data/dbkontro.h"
#include "server/data/driver/date.h"
#include "server/data/lists.h"
#include "server/data/units.h"

namespace kt::data {


// Settings given on the command line (--port, --data) for one run. They are in force for that
// run only: Config() applies them, while the settings table, CONFIGREAD and the settings dialog
// (StoredConfig) never see them.
struct RunOverrides {
  std::optional<uint16_t> port;
  std::optional<std::string> location;
};

// The settings that CONFIGREAD copies from the settings table.
struct ConfigValues {
  std::string location;        // FOLDER, trimmed: the accounting data root as the operator wrote it
  std::string CCONFIGCOMCONN;  // COM_CONN without trailing blanks
  std::string CCONFIGCOMOK;    // COM_OK without trailing blanks
  std::string CCONFIGCOMFAIL;  // COM_FAIL without trailing blanks
  uint16_t WCONFIGPORT = net::kDefaultServerPort;  // PORT
  uint16_t WCONFIGHARGAJUAL = 0;        // HARGA_JUAL: 0 automatic, 1..5 fixed level
};

// Everything one database open read. Immutable once published.
struct DatabaseSnapshot {
  std::filesystem::path data_folder;  // the folder the tables were opened from
  DBKONTRO kontro;
  UnitSets units;
  std::vector<Division> ALISTDIVISI;
  std::vector<Currency> ALISTMAUANG;
  std::vector<RoundingRule> ALISTMUHJBU;  // grouped by currency, MAUANG_NIL order
  std::vector<ItemGroup> ALISTGRPSTK, ALISTGRPST2, ALISTGRPST3;
  std::vector<Employee> ALISTKARYAW;
  std::vector<Date> ALISTLIBNAS;  // holiday dates, sorted
  uint16_t WLENSTOCKKODEC = 0;    // width of S_STOCK.KODE_C
  uint16_t WLENSTOCKKODEN = 0;    // width of S_STOCK.KODE_N

  const Currency* FindCurrency(int64_t id) const;  // nullptr when unknown
  bool IsHoliday(const Date& date) const;
  // The width item codes are padded to: KODE_C's when codes are character codes, else KODE_N's.
  uint16_t CodeWidth() const { return kontro.LSTOCKKODECHR ? WLENSTOCKKODEC : WLENSTOCKKODEN; }
};

class GLOBALVARIABLE {
 public:
  GLOBALVARIABLE() = default;
  GLOBALVARIABLE(const GLOBALVARIABLE&) = delete;
  GLOBALVARIABLE& operator=(const GLOBALVARIABLE&) = delete;

  // ---- Settings ----
  // The settings in force: the stored ones with this run's overrides applied.
  ConfigValues Config() const;
  // The settings as the settings table holds them, without this run's overrides.
  ConfigValues StoredConfig() const;
  // Replaces the stored settings (CONFIGREAD); this run's overrides stay in force.
  void SetConfig(ConfigValues values);
  void SetRunOverrides(RunOverrides overrides);
  RunOverrides Overrides() const;
  std::string CCONFIGCOMCONN() const { return Config().CCONFIGCOMCONN; }
  std::string CCONFIGCOMOK() const { return Config().CCONFIGCOMOK; }
  std::string CCONFIGCOMFAIL() const { return Config().CCONFIGCOMFAIL; }
  uint16_t WCONFIGPORT() const { return Config().WCONFIGPORT; }
  uint16_t WCONFIGHARGAJUAL() const { return Config().WCONFIGHARGAJUAL; }
  // Counts every change of the settings in force (SetConfig, SetRunOverrides): a session keeps
  // its copy of the settings and takes them again only when this has moved.
  uint64_t ConfigVersion() const { return config_version_.load(std::memory_order_acquire); }
  // The data folder derived from the configured location (see DataFolderFromLocation).
  std::string DBFOLDER() const;

  // The firewall self-test text; set once at start-up.
  std::string CRANDOMTESTFIREWALL() const;
  void SetRandomTestFirewall(std::string text);

  // ---- Database ----
  // The snapshot of the last successful open; nullptr before it. Stays valid for the holder
  // even when a later open replaces it.
  std::shared_ptr<const DatabaseSnapshot> Database() const;
  void PublishDatabase(std::shared_ptr<const DatabaseSnapshot> snapshot);
  // Counts every published snapshot: a session keeps the snapshot it took, and what it derived
  // from it, until this has moved.
  uint64_t DatabaseVersion() const { return database_version_.load(std::memory_order_acquire); }

  // The database-opened flag: false until a database open has completed.
  bool IsDatabaseOpen() const { return database_open_.load(std::memory_order_acquire); }
  void SetDatabaseOpen(bool open) { database_open_.store(open, std::memory_order_release); }

 private:
  mutable std::mutex mutex_;
  // State below is protected by `mutex_`.
  ConfigValues config_;  // as stored
  RunOverrides overrides_;
  std::string random_test_firewall_;
  std::shared_ptr<const DatabaseSnapshot> database_;

  // Read by every session before each lookup without taking the lock.
  std::atomic<bool> database_open_{false};
  std::atomic<uint64_t> config_version_{0};    // moved after the change, under `mutex_`
  std::atomic<uint64_t> database_version_{0};  // likewise
};

}  // namespace kt::data
