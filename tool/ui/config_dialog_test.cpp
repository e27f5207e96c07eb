// The Configure command of the main window against simulated terminals on loopback: read, change
// a field on every page, apply, read again; settings files; clone and paste; the page rules as the
// dialog shows them.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

#include "common/testing/files.h"
#include "tool/config/config_record.h"
#include "tool/ui/config_dialog.h"
#include "tool/ui/main_window.h"
#include "tool/ui/sim_fixture.h"
#include "tool/ui/test_app.h"

namespace kt::ui {
namespace {

using testing::FakeServices;
using testing::SimTerminal;

constexpr int kBoundMs = 60000;

const std::vector<SimTerminal> kTwo = {{"10.1.0.1", "03.10", "Kasir depan"}, {"10.1.0.2", "03.10", "Rak minuman"}};

class ConfigDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::TestApp();
    state_.scan_seconds = 2;
    state_.clone_folder = scratch_.path() / "appdata";
    fake_.store.stored.key_existed = true;
    fake_.store.stored.graphical_ui = 0;
    fake_.adapters = {testing::MakeAdapter("eth0", 1, {"192.168.1.20"})};
  }

  void Start(const std::vector<SimTerminal>& terminals) {
    sim_ = testing::StartTerminals(terminals);
    ASSERT_TRUE(sim_);
    state_.discovery_to = sim_->endpoint();
    window_ = std::make_unique<MainWindow>(state_, fake_.services, false);
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    ASSERT_TRUE(Scan());
  }

  bool Scan() {
    QSignalSpy ended(window_.get(), &MainWindow::ScanEnded);
    if (!window_->scanning()) window_->ScanPressed();
    return ended.wait(kBoundMs) || !window_->scanning();
  }

  // Runs Configure on list line `line`; `act` works the dialog and returns how it ends. Message
  // boxes shown meanwhile are recorded as "caption|text"; file dialogs get `file_answer`.
  void Configure(int line, const std::function<int(ConfigDialog&)>& act) {
    fake_.on_modal = [this, act](QDialog& d) -> int {
      if (auto* c = qobject_cast<ConfigDialog*>(&d)) return act(*c);
      if (auto* f = qobject_cast<QFileDialog*>(&d)) {
        if (file_answer_.empty()) return QDialog::Rejected;
        f->selectFile(QString::fromStdString(file_answer_.string()));
        return QDialog::Accepted;
      }
      if (auto* b = qobject_cast<QMessageBox*>(&d)) {
        fake_.boxes << b->windowTitle() + "|" + b->text();
        return QMessageBox::Ok;
      }
      return QDialog::Rejected;
    };
    window_->device_list()->setCurrentRow(line);
    QSignalSpy ended(window_.get(), &MainWindow::ScanEnded);
    QTest::mouseClick(window_->configure_button(), Qt::LeftButton);
    if (window_->scanning()) ASSERT_TRUE(ended.wait(kBoundMs));  // an apply rescans
  }

  // The configuration a Configure of `line` shows, left with Exit.
  config::Configuration ReadBack(int line) {
    config::Configuration shown;
    Configure(line, [&](ConfigDialog& d) {
      shown = d.PageValues();
      return static_cast<int>(QDialog::Rejected);
    });
    return shown;
  }

  test_support::ScratchFolder scratch_{"kx25config_dialog", ""};
  std::filesystem::path file_answer_;
  std::unique_ptr<sim::UdpTerminals> sim_;
  ToolState state_;
  FakeServices fake_;
  std::unique_ptr<MainWindow> window_;
};

TEST_F(ConfigDialogTest, AFieldChangedOnEveryPageIsAppliedAndReadBack) {
  state_.flags.rs232 = true;
  Start(kTwo);
  const config::Configuration before = ReadBack(0);
  ASSERT_EQ(before.device_name, "Kasir depan");
  config::Configuration applied;
  Configure(0, [&](ConfigDialog& d) {
    EXPECT_EQ(d.windowTitle(), "Configure Corvane - Kasir depan");
    EXPECT_EQ(d.info("ip")->text(), "10.1.0.1");
    EXPECT_EQ(d.info("hw1")->text(), "Switch 1");
    EXPECT_EQ(d.tabs()->count(), 5);  // Network, Wireless, Messages, RS232, Miscellaneous
    d.network()->tcp->setChecked(true);
    d.network()->server->setChecked(true);
    EXPECT_EQ(d.network()->tcp_port_label->text(), "Listen to Port");
    EXPECT_FALSE(d.network()->udp_port->isEnabled());
    d.network()->tcp_port->setValue(9200);
    d.wireless()->ssid->setText("TokoWLAN");
    d.wireless()->security->setCurrentIndex(2);  // WPA-Personal
    EXPECT_TRUE(d.wireless()->psk->isVisibleTo(d.wireless()));
    EXPECT_FALSE(d.wireless()->wep_key->isVisibleTo(d.wireless()));
    d.wireless()->psk->setText("rahasia-sekali");
    // 45 bytes: more than the short record holds, so the long-message record goes too.
    d.messages()->rows[config::kIdle1].text->setText("Selamat datang - silakan pindai barang Anda");
    d.messages()->rows[config::kIdle2].x->setValue(12);
    d.rs232()->port2.b19200->setChecked(true);
    d.misc()->name->setText("Kasir baru");
    d.misc()->volume->setCurrentIndex(4);  // 50 %
    d.ApplyNow();
    applied = d.applied();
    return d.result();
  });
  EXPECT_FALSE(window_->scanning());
  const config::Configuration after = ReadBack(0);
  EXPECT_EQ(after.device_name, "Kasir baru");
  EXPECT_TRUE(after.tcp_server);
  EXPECT_FALSE(after.udp);
  EXPECT_EQ(after.tcp_port, 9200);
  EXPECT_EQ(after.wireless.ssid, "TokoWLAN");
  EXPECT_EQ(config::SecurityModeOf(after.wireless, 310), config::SecurityMode::kWpaPersonal);
  EXPECT_EQ(after.wireless.psk, "rahasia-sekali");
  EXPECT_EQ(after.lines[config::kIdle1].text, "Selamat datang - silakan pindai barang Anda");
  EXPECT_EQ(after.lines[config::kIdle2].x, 12);
  EXPECT_EQ(after.port2.baud, 19200);
  EXPECT_EQ(after.volume_percent, 50);
  // Everything else came back as it was applied (the derived "short line is full" flag aside).
  config::Configuration expected = applied;
  expected.short_line_full = after.short_line_full;
  EXPECT_EQ(after, expected);
  // The other terminal was left alone.
  EXPECT_EQ(ReadBack(1).device_name, "Rak minuman");
}

TEST_F(ConfigDialogTest, TextLimitsCountBytesInTheTerminalsCodePage) {
  Start({{"10.1.0.1", "02.09", "Lama"}, {"10.1.0.2", "02.10", "Baru"}});
  auto limit = [](QLineEdit* e, const QString& text) {
    e->clear();
    QTest::keyClicks(e, text);
    return e->text();
  };
  Configure(0, [&](ConfigDialog& d) {
    // Firmware 2.09: 20 bytes a line; the 21st character is not taken.
    EXPECT_EQ(limit(d.messages()->rows[config::kIdle1].text, QString(25, 'a')), QString(20, 'a'));
    EXPECT_EQ(limit(d.misc()->name, QString(30, 'n')), QString(26, 'n'));
    EXPECT_EQ(d.info("hw1")->text(), "Jumper 1");
    EXPECT_EQ(d.wireless()->security->count(), 2);  // None and WEP only
    return static_cast<int>(QDialog::Rejected);
  });
  Configure(1, [&](ConfigDialog& d) {
    EXPECT_EQ(limit(d.messages()->rows[config::kError1].text, QString(70, 'b')), QString(60, 'b'));
    // Switching the code page to UTF-8 makes "é" two bytes: 26 bytes hold 13 of them, and an
    // apply of a longer name pasted in is refused with the field's name.
    d.misc()->codepage->setCurrentIndex(d.misc()->codepage->findData(QVariant::fromValue<uint>(9)));
    d.misc()->name->setValidator(nullptr);
    d.misc()->name->setText(QString(14, QChar(0xE9)));
    d.ApplyNow();
    EXPECT_EQ(d.result(), 0);
    return static_cast<int>(QDialog::Rejected);
  });
  ASSERT_EQ(fake_.boxes.size(), 1);
  EXPECT_TRUE(fake_.boxes[0].contains("Device Name is too long")) << fake_.boxes[0].toStdString();
}

TEST_F(ConfigDialogTest, UndoAllRestoresEveryPageAndKeepsTheCurrentPage) {
  Start(kTwo);
  Configure(0, [&](ConfigDialog& d) {
    const config::Configuration read = d.PageValues();
    d.network()->udp_port->setValue(1234);
    d.wireless()->ssid->setText("lain");
    d.messages()->rows[config::kError2].font->setCurrentIndex(1);
    d.misc()->invert->setChecked(!d.misc()->invert->isChecked());
    d.tabs()->setCurrentIndex(2);
    d.UndoAll();
    EXPECT_EQ(d.tabs()->currentIndex(), 2);
    EXPECT_EQ(d.PageValues(), read);
    return static_cast<int>(QDialog::Rejected);
  });
}

TEST_F(ConfigDialogTest, AnUnreadWirelessRecordOffersNoApply) {
  Start(kTwo);
  sim_->LoseReplies(0, 7);  // the wireless record's reply never arrives
  Configure(0, [&](ConfigDialog& d) {
    EXPECT_FALSE(d.apply_button()->isEnabled());
    EXPECT_NE(d.apply_button()->toolTip().indexOf("wireless record"), -1);
    EXPECT_NE(d.info("missing"), nullptr);
    return static_cast<int>(QDialog::Rejected);
  });
  for (const sim::ReceivedCommand& r : sim_->Received()) EXPECT_NE(r.command, 2);
}

TEST_F(ConfigDialogTest, SavedFileLoadsBackKeepingTheTerminalsAddress) {
  Start(kTwo);
  const std::filesystem::path file = scratch_.path() / "toko.KX25";
  Configure(0, [&](ConfigDialog& d) {
    d.misc()->name->setText("Dari file");
    d.messages()->rows[config::kIdle3].text->setText("Harga termurah");
    file_answer_ = file;
    d.SaveToFile();
    return static_cast<int>(QDialog::Rejected);
  });
  ASSERT_TRUE(std::filesystem::exists(file));
  Configure(1, [&](ConfigDialog& d) {
    const std::string own_ip = d.network()->ip->text().toStdString();
    d.tabs()->setCurrentIndex(1);
    d.LoadFromFile();
    EXPECT_EQ(d.tabs()->currentIndex(), 1);
    EXPECT_EQ(d.misc()->name->text(), "Dari file");
    EXPECT_EQ(d.messages()->rows[config::kIdle3].text->text(), "Harga termurah");
    EXPECT_EQ(d.network()->ip->text().toStdString(), own_ip);
    return static_cast<int>(QDialog::Rejected);
  });
  EXPECT_TRUE(fake_.boxes.isEmpty()) << fake_.boxes.join("\n").toStdString();

  // A format number of 5000 and a cut-off file are refused, each with its reason, pages unchanged.
  std::string bytes = test_support::ReadFileBytes(file);
  std::string wrong = bytes;
  const std::size_t number_at = 4 + 14 * 2;  // after the file-kind string
  wrong[number_at] = static_cast<char>(5000 & 0xFF);
  wrong[number_at + 1] = static_cast<char>(5000 >> 8);
  const std::filesystem::path incompatible = scratch_.path() / "v5.KX25";
  test_support::WriteFileBytes(incompatible, wrong);
  const std::filesystem::path cut = scratch_.path() / "cut.KX25";
  test_support::WriteFileBytes(cut, bytes.substr(0, bytes.size() / 2));
  for (const auto& f : {incompatible, cut}) {
    Configure(1, [&](ConfigDialog& d) {
      file_answer_ = f;
      const config::Configuration before = d.PageValues();
      d.LoadFromFile();
      EXPECT_EQ(d.PageValues(), before);
      return static_cast<int>(QDialog::Rejected);
    });
  }
  ASSERT_EQ(fake_.boxes.size(), 2);
  EXPECT_EQ(fake_.boxes[0], "Warning|Incompatible V4 settings file\nno settings loaded");
  EXPECT_TRUE(fake_.boxes[1].startsWith("Load from File|No settings loaded from")) << fake_.boxes[1].toStdString();
  EXPECT_GT(fake_.boxes[1].size(), QString("Load from File|No settings loaded from ").size() + cut.string().size() + 2);
}

TEST_F(ConfigDialogTest, CloneIsPastedIntoAnotherTerminalAndForgottenAtTheNextScan) {
  Start(kTwo);
  Configure(0, [&](ConfigDialog& d) {
    EXPECT_FALSE(d.paste_button()->isEnabled());
    EXPECT_FALSE(d.paste_all_button()->isEnabled());
    EXPECT_NE(d.paste_all_button()->toolTip().indexOf("kx25ctl apply --all"), -1);
    d.misc()->volume->setCurrentIndex(2);  // 30 %
    d.messages()->rows[config::kError1].text->setText("Barang tidak ada");
    d.Clone();
    EXPECT_TRUE(d.paste_button()->isEnabled());
    return static_cast<int>(QDialog::Rejected);
  });
  EXPECT_TRUE(std::filesystem::exists(state_.clone_folder / "clone.KX25"));
  ASSERT_TRUE(state_.clone_source.has_value());
  EXPECT_EQ(window_->device_list()->item(0)->background().color(), QColor(0, 200, 0));
  EXPECT_EQ(window_->device_list()->item(1)->background().color(), QColor(Qt::white));

  Configure(1, [&](ConfigDialog& d) {
    EXPECT_TRUE(d.paste_button()->isEnabled());
    const QString own_ip = d.network()->ip->text();
    d.Paste();
    EXPECT_EQ(d.network()->ip->text(), own_ip);
    EXPECT_EQ(d.misc()->volume->currentText(), "30");
    d.ApplyNow();
    return d.result();
  });
  // The apply rescanned: the clone is forgotten, the list unmarked.
  EXPECT_FALSE(state_.clone_source.has_value());
  const config::Configuration second = ReadBack(1);
  EXPECT_EQ(second.volume_percent, 30);
  EXPECT_EQ(second.lines[config::kError1].text, "Barang tidak ada");
  EXPECT_EQ(second.current_ip, net::ParseIpv4("10.1.0.2").value());
  Configure(1, [&](ConfigDialog& d) {
    EXPECT_FALSE(d.paste_button()->isEnabled());
    return static_cast<int>(QDialog::Rejected);
  });
  EXPECT_TRUE(fake_.boxes.isEmpty()) << fake_.boxes.join("\n").toStdString();
}

TEST_F(ConfigDialogTest, RetailChainTerminalGetsItsPagesAndAFixedTransport) {
  state_.flags.marlo = true;
  sim::UdpTerminalOptions o;
  o.listen_port = 0;
  o.record_version = 3;
  o.firmware = "02.10";
  auto started = sim::UdpTerminals::Start(o);
  ASSERT_TRUE(started.ok());
  sim_ = std::move(*started);
  state_.discovery_to = sim_->endpoint();
  window_ = std::make_unique<MainWindow>(state_, fake_.services, false);
  window_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  ASSERT_TRUE(Scan());
  Configure(0, [&](ConfigDialog& d) {
    EXPECT_EQ(d.tabs()->tabText(d.tabs()->count() - 2), "Retalix protocol Activation");
    EXPECT_EQ(d.tabs()->tabText(d.tabs()->count() - 1), "Retalix specifics");
    EXPECT_TRUE(d.network()->udp->isChecked());
    EXPECT_FALSE(d.network()->tcp->isEnabled());
    d.activation()->activate->setChecked(true);
    d.specifics()->pos_station->setValue(7);
    d.specifics()->currency->setText("Rp");
    d.specifics()->round_off->setCurrentIndex(2);
    d.ApplyNow();
    return d.result();
  });
  const config::Configuration after = ReadBack(0);
  EXPECT_EQ(after.retalix.pos_station, 7);
  EXPECT_EQ(after.retalix.currency, "Rp");
  EXPECT_EQ(after.retalix.round_off, 100);
  EXPECT_TRUE(after.retalix_active);
}

}  // namespace
}  // namespace kt::ui
