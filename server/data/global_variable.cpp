#include "server/data/global_variable.h"

#include <algorithm>

#include "server/data/data_folder.h"

namespace kt::data {

const Currency* DatabaseSnapshot::FindCurrency(int64_t id) const {
  for (const Currency& currency : ALISTMAUANG) {
    if (currency.id == id) return &currency;
  }
  return nullptr;
}

bool DatabaseSnapshot::IsHoliday(const Date& date) const {
  return std::binary_search(ALISTLIBNAS.begin(), ALISTLIBNAS.end(), date);
}

ConfigValues GLOBALVARIABLE::Config() const {
  std::scoped_lock lock(mutex_);
  ConfigValues values = config_;
  if (overrides_.port) values.WCONFIGPORT = *overrides_.port;
  if (overrides_.location) values.location = *overrides_.location;
  return values;
}

ConfigValues GLOBALVARIABLE::StoredConfig() const {
  std::scoped_lock lock(mutex_);
  return config_;
}

void GLOBALVARIABLE::SetRunOverrides(RunOverrides overrides) {
  std::scoped_lock lock(mutex_);
  overrides_ = std::move(overrides);
  config_version_.fetch_add(1, std::memory_order_acq_rel);
}

RunOverrides GLOBALVARIABLE::Overrides() const {
  std::scoped_lock lock(mutex_);
  return overrides_;
}

void GLOBALVARIABLE::SetConfig(ConfigValues values) {
  std::scoped_lock lock(mutex_);
  config_ = std::move(values);
  config_version_.fetch_add(1, std::memory_order_acq_rel);
}

std::string GLOBALVARIABLE::DBFOLDER() const { return DataFolderFromLocation(Config().location); }

std::string GLOBALVARIABLE::CRANDOMTESTFIREWALL() const {
  std::scoped_lock lock(mutex_);
  return random_test_firewall_;
}

void GLOBALVARIABLE::SetRandomTestFirewall(std::string text) {
  std::scoped_lock lock(mutex_);
  random_test_firewall_ = std::move(text);
}

std::shared_ptr<const DatabaseSnapshot> GLOBALVARIABLE::Database() const {
  std::scoped_lock lock(mutex_);
  return database_;
}

void GLOBALVARIABLE::PublishDatabase(std::shared_ptr<const DatabaseSnapshot> snapshot) {
  std::scoped_lock lock(mutex_);
  database_ = std::move(snapshot);
  database_version_.fetch_add(1, std::memory_order_acq_rel);
}

}  // namespace kt::data
