#include "server/data/settings_table.h"

#include <gtest/gtest.h>

#include "server/data/data_folder.h"
#include "server/data/driver/work_area.h"
#include "server/data/messages.h"
#include "server/data/test_support.h"
#include "server/reply/default_templates.h"

namespace kt::data {
namespace {

using testing::ReadFileBytes;
using testing::RecordingSink;
using testing::TempFolder;
using testing::WriteFileBytes;

std::filesystem::path SettingsFile(const TempFolder& dir) { return dir.path() / "KTVISTRD.DAT"; }

TEST(SettingsTable, FirstStartCreatesTheFileWithDefaults) {
  TempFolder dir;
  GLOBALVARIABLE globals;
  ASSERT_TRUE(LoadSettings(dir.path(), globals).ok());
  const ConfigValues values = globals.Config();
  EXPECT_EQ(values.WCONFIGPORT, 9101);
  EXPECT_EQ(values.WCONFIGHARGAJUAL, 0);
  EXPECT_EQ(values.location, "");
  EXPECT_EQ(values.CCONFIGCOMCONN, reply::DefaultComConn());
  EXPECT_EQ(values.CCONFIGCOMOK, reply::DefaultComOk());
  EXPECT_EQ(values.CCONFIGCOMFAIL, reply::DefaultComFail());

  // One record, and a second start reads the same without adding another.
  auto area = WorkArea::Open(SettingsFile(dir), "CHECK");
  ASSERT_TRUE(area.ok()) << area.status().ToString();
  EXPECT_EQ((*area)->RecCount().value_or(0), 1u);
  area->reset();
  ASSERT_TRUE(LoadSettings(dir.path(), globals).ok());
  area = WorkArea::Open(SettingsFile(dir), "CHECK");
  ASSERT_TRUE(area.ok());
  EXPECT_EQ((*area)->RecCount().value_or(0), 1u);
}

// Other xBase engines read a C field wider than 255 from its length byte (low) and its decimals
// byte (high).
TEST(SettingsTable, WideCharacterFieldsKeepTheHighByteInTheDecimalsByte) {
  TempFolder dir;
  GLOBALVARIABLE globals;
  ASSERT_TRUE(LoadSettings(dir.path(), globals).ok());
  const std::string bytes = ReadFileBytes(SettingsFile(dir));
  ASSERT_GT(bytes.size(), 32u + 6 * 32u);
  struct Expected {
    const char* name;
    char type;
    int width;
  } fields[] = {{"PORT", 'N', 5},      {"FOLDER", 'C', 200}, {"HARGA_JUAL", 'N', 1},
                {"COM_CONN", 'C', 500}, {"COM_OK", 'C', 500}, {"COM_FAIL", 'C', 500}};
  // Header: 32 bytes, 6 descriptors, the terminator (engines may pad after it); record length 1
  // (deletion flag) + the widths.
  const int header_length = static_cast<uint8_t>(bytes[8]) | static_cast<uint8_t>(bytes[9]) << 8;
  EXPECT_GE(header_length, 32 + 6 * 32 + 1);
  EXPECT_LE(header_length, 32 + 6 * 32 + 2);
  EXPECT_EQ(static_cast<uint8_t>(bytes[10]) | static_cast<uint8_t>(bytes[11]) << 8, 1 + 5 + 200 + 1 + 3 * 500);
  EXPECT_EQ(bytes[32 + 6 * 32], '\x0d');
  for (int i = 0; i < 6; ++i) {
    const std::string descriptor = bytes.substr(32 + 32 * i, 32);
    EXPECT_EQ(std::string(descriptor.c_str()), fields[i].name);
    EXPECT_EQ(descriptor[11], fields[i].type) << fields[i].name;
    const int width = static_cast<uint8_t>(descriptor[16]) |
                      (fields[i].type == 'C' ? static_cast<uint8_t>(descriptor[17]) << 8 : 0);
    EXPECT_EQ(width, fields[i].width) << fields[i].name;
  }
}

class SettingsSave : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(data_.path() / "ST_DB");
    ASSERT_TRUE(LoadSettings(work_.path(), globals_).ok());
  }

  SettingsForm Form() {
    SettingsForm form = FormFromGlobals(globals_);
    form.location = data_.path().string();
    return form;
  }

  TempFolder work_, data_;
  GLOBALVARIABLE globals_;
  RecordingSink sink_;
};

TEST_F(SettingsSave, SameLocationAndPortAppliesTemplatesAtOnce) {
  SettingsForm form = Form();
  ASSERT_EQ(SaveSettings(work_.path(), form, globals_, sink_).value().outcome, SaveOutcome::kSaved);
  sink_.Clear();

  form.com_ok = "  OK {namaitem}  ";
  form.price_level = 3;
  auto saved = SaveSettings(work_.path(), form, globals_, sink_);
  ASSERT_TRUE(saved.ok()) << saved.status().ToString();
  EXPECT_EQ(saved->outcome, SaveOutcome::kSaved);
  EXPECT_FALSE(saved->location_changed);
  EXPECT_EQ(globals_.CCONFIGCOMOK(), "  OK {namaitem}");  // trailing blanks are not kept
  EXPECT_EQ(globals_.WCONFIGHARGAJUAL(), 3);
  EXPECT_TRUE(sink_.boxes.empty());

  // What was saved is what the next start reads.
  GLOBALVARIABLE next;
  ASSERT_TRUE(LoadSettings(work_.path(), next).ok());
  EXPECT_EQ(next.CCONFIGCOMOK(), "  OK {namaitem}");
  EXPECT_EQ(next.Config().location, data_.path().string() + kPathSeparator);
}

TEST_F(SettingsSave, NewPortAsksForARestart) {
  SettingsForm form = Form();
  form.port = "9200";
  auto saved = SaveSettings(work_.path(), form, globals_, sink_);
  ASSERT_TRUE(saved.ok());
  EXPECT_EQ(saved->outcome, SaveOutcome::kRestartRequired);
  EXPECT_EQ(globals_.WCONFIGPORT(), 9200);
}

TEST_F(SettingsSave, NewLocationOpensTheDatabaseAgain) {
  SettingsForm form = Form();
  form.location = data_.path().string() + "/ST_DB/";
  auto saved = SaveSettings(work_.path(), form, globals_, sink_);
  ASSERT_TRUE(saved.ok());
  EXPECT_EQ(saved->outcome, SaveOutcome::kSaved);
  EXPECT_TRUE(saved->location_changed);
  // The folder holds no tables: the open fails with the first table's message.
  EXPECT_FALSE(saved->database_opened);
  ASSERT_EQ(sink_.boxes.size(), 1u);
  EXPECT_EQ(sink_.boxes[0], "Gagal buke file S_KONTRO !");
  EXPECT_EQ(globals_.Config().location, data_.path().string() + "/");
}

TEST_F(SettingsSave, RefusedFormSavesNothing) {
  const std::string before = ReadFileBytes(work_.path() / "KTVISTRD.DAT");
  SettingsForm form = Form();
  form.port = "999";
  form.com_ok = "changed";
  auto saved = SaveSettings(work_.path(), form, globals_, sink_);
  ASSERT_TRUE(saved.ok());
  EXPECT_EQ(saved->outcome, SaveOutcome::kInvalid);
  EXPECT_EQ(saved->check.message, msg::kPortWrong);
  EXPECT_EQ(saved->check.field, SettingsField::kPort);
  EXPECT_EQ(ReadFileBytes(work_.path() / "KTVISTRD.DAT"), before);
  EXPECT_EQ(globals_.CCONFIGCOMOK(), reply::DefaultComOk());
}

// The table is replaced whole: a save that cannot finish keeps every old value and leaves no
// scratch file behind.
TEST_F(SettingsSave, AFailedSaveKeepsTheOldSettings) {
  const std::filesystem::path table = work_.path() / "KTVISTRD.DAT";
  const std::string before = ReadFileBytes(table);
  std::filesystem::create_directory(work_.path() / "KTVISTRD.DAT.tmp");  // the new table cannot be written
  SettingsForm form = Form();
  form.com_ok = "never stored";
  auto saved = SaveSettings(work_.path(), form, globals_, sink_);
  EXPECT_FALSE(saved.ok());
  EXPECT_EQ(ReadFileBytes(table), before);
  EXPECT_FALSE(std::filesystem::exists(work_.path() / "KTVISTRD.DAT.new"));
  GLOBALVARIABLE reloaded;
  ASSERT_TRUE(LoadSettings(work_.path(), reloaded).ok());
  EXPECT_EQ(reloaded.CCONFIGCOMOK(), reply::DefaultComOk());

  std::filesystem::remove(work_.path() / "KTVISTRD.DAT.tmp");
  saved = SaveSettings(work_.path(), form, globals_, sink_);
  ASSERT_TRUE(saved.ok()) << saved.status().ToString();
  ASSERT_TRUE(LoadSettings(work_.path(), reloaded).ok());
  EXPECT_EQ(reloaded.CCONFIGCOMOK(), "never stored");
  EXPECT_FALSE(std::filesystem::exists(work_.path() / "KTVISTRD.DAT.tmp"));
}

TEST(SettingsTable, DamagedFileFailsCleanlyAndStaysUntouched) {
  TempFolder dir;
  GLOBALVARIABLE globals;
  ASSERT_TRUE(LoadSettings(dir.path(), globals).ok());
  const std::string good = ReadFileBytes(SettingsFile(dir));
  const std::vector<std::string> damaged = {
      good.substr(0, 20),                  // cut inside the header
      good.substr(0, 32 + 3 * 32),         // cut inside the field list
      std::string(good.size(), '\xff'),    // garbage
  };
  for (const std::string& bytes : damaged) {
    WriteFileBytes(SettingsFile(dir), bytes);
    GLOBALVARIABLE other;
    EXPECT_FALSE(LoadSettings(dir.path(), other).ok()) << bytes.size();
    EXPECT_EQ(ReadFileBytes(SettingsFile(dir)), bytes);
  }
}

}  // namespace
}  // namespace kt::data
