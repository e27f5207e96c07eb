// The adapter dialog's rules, and the tool settings in QSettings.
#include "tool/ui/adapter_dialogs.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include <fstream>

#include "common/testing/files.h"
#include "tool/ui/sim_fixture.h"
#include "tool/ui/test_app.h"

namespace kt::ui {
namespace {

using testing::FakeServices;
using testing::MakeAdapter;

class AdapterDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::TestApp();
    config::AdapterInfo a = MakeAdapter("eth0 (e1000e)", 1, {"192.168.1.20", "192.168.1.21"});
    a.dhcp_enabled = true;
    a.dhcp_server = "192.168.1.1";
    config::AdapterInfo other = MakeAdapter("tun0", 2, {"10.8.0.2"});
    other.ethernet = false;  // neither Ethernet nor wireless: never shown
    config::AdapterInfo wifi = MakeAdapter("wlan0 (iwlwifi)", 3, {"10.0.8.14"}, true);
    wifi.gateway = "10.0.8.1";
    fake_.adapters = {a, other, wifi};
  }

  std::unique_ptr<AdapterDialog> Open() {
    auto d = std::make_unique<AdapterDialog>(settings_, fake_.services);
    d->show();
    return d;
  }

  config::ToolSettings settings_;
  FakeServices fake_;
};

TEST_F(AdapterDialogTest, OpensOnTheStoredAdapterAndAddress) {
  settings_.adapter_mac = "00:1B:21:3A:4F:01";
  settings_.adapter_ip = "192.168.1.20";
  settings_.broadcast_port = 10010;
  auto d = Open();
  EXPECT_EQ(d->interface_name()->text(), "eth0 (e1000e)");
  EXPECT_EQ(d->mac()->text(), "00:1B:21:3A:4F:01");
  EXPECT_EQ(d->ip()->count(), 2);
  EXPECT_EQ(d->ip()->currentText(), "192.168.1.20");  // the stored one, not the last
  EXPECT_EQ(d->gateway()->text(), "192.168.1.1");
  EXPECT_EQ(d->dhcp()->text(), "192.168.1.1");
  EXPECT_EQ(d->port()->text(), "10010");
  EXPECT_TRUE(d->next()->isEnabled());

  // Next skips the adapter that is neither Ethernet nor wireless, and wraps.
  QTest::mouseClick(d->next(), Qt::LeftButton);
  EXPECT_EQ(d->interface_name()->text(), "wlan0 (iwlwifi) - wireless");
  EXPECT_EQ(d->mac()->text(), "00:1B:21:3A:4F:03");
  EXPECT_EQ(d->dhcp()->text(), "N/A");
  EXPECT_EQ(d->gateway()->text(), "10.0.8.1");
  QTest::mouseClick(d->next(), Qt::LeftButton);
  EXPECT_EQ(d->mac()->text(), "00:1B:21:3A:4F:01");
  EXPECT_EQ(d->ip()->currentText(), "192.168.1.21");  // shown again: its last address

  // Refresh fetches again and shows the first adapter.
  fake_.adapters.erase(fake_.adapters.begin());
  QTest::mouseClick(d->refresh(), Qt::LeftButton);
  EXPECT_EQ(d->mac()->text(), "00:1B:21:3A:4F:03");
  EXPECT_FALSE(d->next()->isEnabled());
}

TEST_F(AdapterDialogTest, UnknownStoredAdapterShowsTheFirstWithItsLastAddress) {
  settings_.adapter_mac = "00-00-00-00-00-00";
  auto d = Open();
  EXPECT_EQ(d->mac()->text(), "00:1B:21:3A:4F:01");
  EXPECT_EQ(d->ip()->currentText(), "192.168.1.21");
}

TEST_F(AdapterDialogTest, OkChecksThePort) {
  const config::ToolSettings before = settings_;
  struct Case {
    const char* port;
    adapters::PortCheck check;
    const char* box;  // nullptr: accepted
  };
  const Case cases[] = {
      {"70000", adapters::PortCheck::kUsable, "Please enter an integer between 0 and 65535."},
      {"-1", adapters::PortCheck::kUsable, "Please enter an integer between 0 and 65535."},
      {"12a", adapters::PortCheck::kUsable, "Please enter an integer between 0 and 65535."},
      {"", adapters::PortCheck::kUsable, "Please enter an integer between 0 and 65535."},
      {"999", adapters::PortCheck::kNeedsPrivilege, "Port 999 cannot be used"},
  };
  for (const Case& c : cases) {
    fake_.boxes.clear();
    fake_.port_check = c.check;
    auto d = Open();
    d->port()->setText(c.port);
    QTest::mouseClick(d->ok(), Qt::LeftButton);
    ASSERT_EQ(fake_.boxes.size(), 1) << c.port;
    EXPECT_TRUE(fake_.boxes[0].contains(c.box)) << fake_.boxes[0].toStdString();
    EXPECT_TRUE(d->isVisible()) << c.port;  // stays open
    EXPECT_EQ(settings_, before) << c.port;
  }
  // A port in use is taken: the scan falls back to a port the system chooses.
  fake_.boxes.clear();
  fake_.port_check = adapters::PortCheck::kInUse;
  auto d = Open();
  QTest::mouseClick(d->next(), Qt::LeftButton);
  d->port()->setText("0");
  d->port()->setText("40000");
  QTest::mouseClick(d->ok(), Qt::LeftButton);
  EXPECT_TRUE(fake_.boxes.isEmpty());
  EXPECT_EQ(d->result(), QDialog::Accepted);
  EXPECT_EQ(settings_.adapter_mac, "00:1B:21:3A:4F:03");
  EXPECT_EQ(settings_.adapter_ip, "10.0.8.14");
  EXPECT_EQ(settings_.broadcast_port, 40000);
}

TEST_F(AdapterDialogTest, CancelChangesNothing) {
  const config::ToolSettings before = settings_;
  auto d = Open();
  QTest::mouseClick(d->next(), Qt::LeftButton);
  d->port()->setText("5000");
  QTest::mouseClick(d->cancel(), Qt::LeftButton);
  EXPECT_EQ(d->result(), QDialog::Rejected);
  EXPECT_EQ(settings_, before);
}

TEST_F(AdapterDialogTest, NoAdaptersIsSaidAndOkKeepsTheAdapter) {
  fake_.adapters.clear();
  settings_.adapter_ip = "10.1.1.1";
  auto d = Open();
  EXPECT_EQ(fake_.boxes, QStringList{"Local Network Adapter(s)|No adapter information exists for the local computer"});
  EXPECT_TRUE(d->mac()->text().isEmpty());
  EXPECT_FALSE(d->next()->isEnabled());
  d->port()->setText("2000");
  QTest::mouseClick(d->ok(), Qt::LeftButton);
  EXPECT_EQ(settings_.adapter_ip, "10.1.1.1");
  EXPECT_EQ(settings_.broadcast_port, 2000);
}

TEST(AdapterQuestion, TextsAndTheDontAskBox) {
  testing::TestApp();
  config::ToolSettings s;
  s.ask_for_adapter = false;
  AdapterQuestion q(s);
  EXPECT_EQ(q.windowTitle(), "Multiple Network Adapters found...");
  EXPECT_TRUE(q.dont_ask()->isChecked());  // starts checked when asking is off
  q.dont_ask()->click();
  EXPECT_TRUE(s.ask_for_adapter);
  q.dont_ask()->click();
  EXPECT_FALSE(s.ask_for_adapter);
  q.show();
  QTest::mouseClick(q.no(), Qt::LeftButton);
  EXPECT_EQ(q.result(), QDialog::Rejected);
  EXPECT_FALSE(s.ask_for_adapter);  // the box counts whatever button ends the dialog
}

// QSettings in a private folder: per user, vendor "Vistrand ID", application "KX25 Config Tool".
class SettingsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::TestApp();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(folder_.path().string()));
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope,
                       QString::fromStdString((folder_.path() / "system").string()));
  }
  std::filesystem::path File() const { return folder_.path() / "Vistrand ID" / "KX25 Config Tool.conf"; }
  test_support::ScratchFolder folder_{"kx25config_settings", "store"};
};

TEST_F(SettingsStoreTest, SavedValuesComeBackWithTheirTypes) {
  QSettingsStore store;
  EXPECT_FALSE(store.Load().key_existed);
  config::ToolSettings s;
  s.adapter_mac = "00:1B:21:3A:4F:10";
  s.adapter_ip = "192.168.100.200";  // 15 characters
  s.broadcast_port = 10010;
  s.ask_for_adapter = false;
  s.graphical_ui = false;
  store.Save(s);
  const config::StoredToolSettings loaded = store.Load();
  EXPECT_TRUE(loaded.key_existed);
  EXPECT_EQ(config::ApplyReadRules(loaded), s);
  const std::string text = test_support::ReadFileBytes(File());
  EXPECT_NE(text.find("BroadcastPort=10010"), std::string::npos) << text;
  EXPECT_NE(text.find("Ask%20for%20Adapter=0"), std::string::npos) << text;  // a number, not "false"
}

TEST_F(SettingsStoreTest, DamagedOrForeignValuesGiveDefaults) {
  std::filesystem::create_directories(File().parent_path());
  test_support::WriteFileBytes(File(),
                               "[General]\nBroadcastPort=abc\nAdapter%20MacAddress=00:11:22:33:44:55:66:77\n"
                               "Graphical%20User%20Interface=0\n\x01\x02garbage=\xff\n[unclosed\n");
  QSettingsStore store;
  const config::StoredToolSettings loaded = store.Load();
  EXPECT_TRUE(loaded.key_existed);
  const config::ToolSettings s = config::ApplyReadRules(loaded);
  EXPECT_EQ(s.broadcast_port, 0);
  EXPECT_EQ(s.adapter_mac, "00-00-00-00-00-00");
  EXPECT_FALSE(s.graphical_ui);
  EXPECT_TRUE(s.ask_for_adapter);
}

}  // namespace
}  // namespace kt::ui
