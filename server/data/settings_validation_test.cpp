#include "server/data/settings_validation.h"

#include <gtest/gtest.h>

#include <set>

#include "server/data/data_folder.h"
#include "server/data/messages.h"

namespace kt::data {
namespace {

// Folders that "exist" for these cases.
bool FakeFolders(const std::filesystem::path& folder) {
  static const std::set<std::string> known = {"/data/ST_DB", "/data/shop/ST_DB", "/DATA.2024/ST_DB",
                                              "/data,x/ST_DB"};
  return known.count(folder.generic_string()) > 0;
}

SettingsForm GoodForm() {
  SettingsForm form;
  form.location = "/data";
  form.port = "9101";
  form.price_level = 0;
  form.com_conn = "C";
  form.com_ok = "O";
  form.com_fail = "F";
  return form;
}

TEST(SettingsValidation, EveryRuleInOrder) {
  const std::string network = std::string(msg::kNetworkPathPrefix);
  struct Case {
    const char* name;
    void (*change)(SettingsForm&);
    std::string message;
    SettingsField field;
  } cases[] = {
      {"empty location", [](SettingsForm& f) { f.location = "   "; }, std::string(msg::kLocationEmpty),
       SettingsField::kLocation},
      {"network path", [](SettingsForm& f) { f.location = "\\\\server\\share"; },
       network + "\\\\server\\share" + kPathSeparator + " )", SettingsField::kLocation},
      {"network path with slashes", [](SettingsForm& f) { f.location = "//server/share"; },
       network + "//server/share" + kPathSeparator + " )", SettingsField::kLocation},
      {"missing data folder", [](SettingsForm& f) { f.location = "/nowhere"; },
       std::string(msg::kDataFolderMissingPrefix) + "/nowhere" + kPathSeparator + " )", SettingsField::kLocation},
      {"dot in folder", [](SettingsForm& f) { f.location = "/DATA.2024"; }, std::string(msg::kLocationDotComma),
       SettingsField::kLocation},
      {"comma in folder", [](SettingsForm& f) { f.location = "/data,x"; }, std::string(msg::kLocationDotComma),
       SettingsField::kLocation},
      {"empty port", [](SettingsForm& f) { f.port = ""; }, std::string(msg::kPortEmpty), SettingsField::kPort},
      {"port 999", [](SettingsForm& f) { f.port = "999"; }, std::string(msg::kPortWrong), SettingsField::kPort},
      {"port 65536", [](SettingsForm& f) { f.port = "65536"; }, std::string(msg::kPortWrong), SettingsField::kPort},
      {"no connected template", [](SettingsForm& f) { f.com_conn = " "; }, std::string(msg::kComConnEmpty),
       SettingsField::kComConn},
      {"no scan-ok template", [](SettingsForm& f) { f.com_ok = ""; }, std::string(msg::kComOkEmpty),
       SettingsField::kComOk},
      {"no scan-failed template", [](SettingsForm& f) { f.com_fail = ""; }, std::string(msg::kComFailEmpty),
       SettingsField::kComFail},
      // Several faults: the first rule wins.
      {"location before port", [](SettingsForm& f) { f.location = ""; f.port = "1"; },
       std::string(msg::kLocationEmpty), SettingsField::kLocation},
      {"port before templates", [](SettingsForm& f) { f.port = "5"; f.com_ok = ""; },
       std::string(msg::kPortWrong), SettingsField::kPort},
  };
  for (const Case& c : cases) {
    SettingsForm form = GoodForm();
    c.change(form);
    const SettingsCheck check = ValidateSettings(form, FakeFolders);
    EXPECT_FALSE(check.ok) << c.name;
    EXPECT_EQ(check.message, c.message) << c.name;
    EXPECT_EQ(check.field, c.field) << c.name;
  }
}

TEST(SettingsValidation, AcceptedFormsAndStoredLocation) {
  const std::string sep(1, kPathSeparator);  // the separator the check adds where one is missing
  struct Case {
    const char* location;
    const char* port;
    std::string stored;
    uint16_t stored_port;
  } cases[] = {
      {"/data", "1000", "/data" + sep, 1000},
      {"/data/", "65535", "/data/", 65535},
      {" /data/ST_DB/ ", "9101", "/data/", 9101},
      {"/data/st_db", "9101", "/data/", 9101},
      {"/data/shop", "9101", "/data/shop" + sep, 9101},
  };
  for (const Case& c : cases) {
    SettingsForm form = GoodForm();
    form.location = c.location;
    form.port = c.port;
    const SettingsCheck check = ValidateSettings(form, FakeFolders);
    ASSERT_TRUE(check.ok) << c.location << ": " << check.message;
    EXPECT_EQ(check.location, c.stored) << c.location;
    EXPECT_EQ(check.port, c.stored_port) << c.location;
  }
}

TEST(SettingsValidation, OverlongValuesAreRefusedNotCut) {
  SettingsForm form = GoodForm();
  const std::string deep = "/data/" + std::string(kFolderFieldWidth, 'x');
  form.location = deep;
  SettingsCheck check = ValidateSettings(form, [](const std::filesystem::path&) { return true; });
  EXPECT_FALSE(check.ok);
  EXPECT_EQ(check.field, SettingsField::kLocation);
  EXPECT_NE(check.message.find("terlalu panjang"), std::string::npos) << check.message;

  form = GoodForm();
  form.com_ok = std::string(kTemplateFieldWidth + 1, 'A');
  check = ValidateSettings(form, FakeFolders);
  EXPECT_FALSE(check.ok);
  EXPECT_EQ(check.field, SettingsField::kComOk);

  form.com_ok = std::string(kTemplateFieldWidth, 'A') + "   ";  // trailing blanks are not stored
  EXPECT_TRUE(ValidateSettings(form, FakeFolders).ok);
}

TEST(DataFolder, LocationForms) {
  const std::string sep(1, kPathSeparator);  // the separator added where one is missing
  struct Case {
    const char* location;
    std::string folder;
  } cases[] = {
      {"/d/DATA", "/d/DATA" + sep + "ST_DB" + sep},
      {"/d/DATA/", "/d/DATA/ST_DB" + sep},
      {"/d/DATA/ST_DB/", "/d/DATA/ST_DB/"},
      {"/d/DATA/st_db\\", "/d/DATA/st_db\\"},
      {"D:\\DATA", "D:\\DATA" + std::string(1, kPathSeparator) + "ST_DB" + std::string(1, kPathSeparator)},
      {"D:\\DATA\\ST_DB\\", "D:\\DATA\\ST_DB\\"},
      {"/d/XST_DB/", "/d/XST_DB/ST_DB" + sep},
      {"", ""},
      {"   ", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(DataFolderFromLocation(c.location), c.folder) << c.location;
}

}  // namespace
}  // namespace kt::data
