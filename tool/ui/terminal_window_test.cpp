// The Terminal command and the TCP terminal window against a simulated terminal that runs as TCP
// server on loopback: the opening checks, the greeting, typed hex, demonstration screens answering
// scans, the display picture, and the reachability monitor when this PC may not ping.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

#include "sim/tcp/server_terminal.h"
#include "tool/ui/config_dialog.h"
#include "tool/ui/main_window.h"
#include "tool/ui/sim_fixture.h"
#include "tool/ui/terminal_window.h"
#include "tool/ui/test_app.h"

namespace kt::ui {
namespace {

constexpr int kBoundMs = 30000;

// Lets the window thread run until `done` holds; false after kBoundMs.
bool WaitUntil(const std::function<bool()>& done) {
  QDeadlineTimer deadline(kBoundMs);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QTest::qWait(10);
  }
  return true;
}

class TerminalWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::TestApp();
    state_.scan_seconds = 2;
    fake_.store.stored.key_existed = true;
    fake_.store.stored.graphical_ui = 0;
    fake_.adapters = {testing::MakeAdapter("eth0", 1, {"192.168.1.20"})};
    fake_.services.pin_arp_entry = false;
    fake_.on_modal = [this](QDialog& d) -> int {
      if (auto* b = qobject_cast<QMessageBox*>(&d)) {
        fake_.boxes << b->windowTitle() + "|" + b->text();
        return answer_;
      }
      if (qobject_cast<ConfigDialog*>(&d)) ++config_dialogs_;
      return QDialog::Rejected;
    };
  }

  // One simulated terminal at 127.0.0.1; as TCP server of the simulated server terminal when
  // `tcp_server`, of record version `version`.
  void Start(bool tcp_server, uint16_t version = 2) {
    if (tcp_server) {
      auto t = sim::ServerTerminal::Start({});
      ASSERT_TRUE(t.ok());
      server_ = std::move(*t);
    }
    sim::UdpTerminalOptions o;
    o.listen_port = 0;
    o.first_ip = 0x7F000001;
    o.record_version = version;
    o.tcp_server_port = server_ ? server_->port() : 0;
    auto u = sim::UdpTerminals::Start(o);
    ASSERT_TRUE(u.ok());
    sim_ = std::move(*u);
    state_.discovery_to = sim_->endpoint();
    window_ = std::make_unique<MainWindow>(state_, fake_.services, false);
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    QSignalSpy ended(window_.get(), &MainWindow::ScanEnded);
    window_->ScanPressed();
    ASSERT_TRUE(ended.wait(kBoundMs));
    window_->device_list()->setCurrentRow(0);
  }

  TerminalWindow* OpenTerminal() {
    QTest::mouseClick(window_->terminal_button(), Qt::LeftButton);
    return window_->findChild<TerminalWindow*>();
  }

  static bool LogHas(TerminalWindow* t, const QString& text) { return t->log()->toPlainText().contains(text); }

  std::unique_ptr<sim::ServerTerminal> server_;
  std::unique_ptr<sim::UdpTerminals> sim_;
  ToolState state_;
  testing::FakeServices fake_;
  std::unique_ptr<MainWindow> window_;
  int answer_ = QMessageBox::Ok;
  int config_dialogs_ = 0;
};

// Echo requests this user may not send: the monitor says so once and stays off.
terminal::EchoCheckFactory NotPermitted() {
  return [](uint32_t, std::string& detail) -> terminal::EchoCheck {
    detail = "echo requests are not permitted for this user";
    return {};
  };
}

TEST_F(TerminalWindowTest, GreetingTypedHexAndDemonstrationScreens) {
  fake_.services.echo_checks = NotPermitted();
  Start(true);
  TerminalWindow* t = OpenTerminal();
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->windowTitle(), "Corvane TCP Terminal : 127.0.0.1");
  EXPECT_TRUE(t->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_EQ(t->port_field()->value(), server_->port());
  EXPECT_EQ(t->connect_button()->toolTip(), kConnectTip);
  EXPECT_FALSE(t->log()->isEnabled());

  QTest::mouseClick(t->connect_button(), Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return t->connected() && t->connect_button()->text() == "Disconnect"; }));
  EXPECT_EQ(t->connect_button()->toolTip(), kDisconnectTip);
  ASSERT_TRUE(server_->WaitForReceived([](const std::string& r) { return r.find("\x1b%Connected !") != std::string::npos; },
                                       std::chrono::milliseconds(kBoundMs)));
  ASSERT_TRUE(WaitUntil([&] { return LogHas(t, "<27>%Connected !"); }));
  // The display picture shows what the greeting put on the terminal's screen.
  ASSERT_TRUE(WaitUntil([&] { return QString::fromStdString(t->emulator().Render()).contains("Connected !"); }));
  // The monitor cannot ping here: it says so, and the connection stays.
  ASSERT_TRUE(WaitUntil([&] { return LogHas(t, "not permitted"); }));
  EXPECT_TRUE(t->connected());

  // Hex input: "1" and "b" make the single byte 0x1B.
  t->hex_box()->setChecked(true);
  const std::size_t before = server_->received().size();
  QTest::keyClicks(t->log(), "1b");
  ASSERT_TRUE(server_->WaitForReceived([&](const std::string& r) { return r.size() == before + 1; },
                                       std::chrono::milliseconds(kBoundMs)));
  EXPECT_EQ(server_->received().back(), '\x1b');
  ASSERT_TRUE(WaitUntil([&] { return LogHas(t, "<0x1B>"); }));
  t->hex_box()->setChecked(false);

  // A scanned code answered with a demonstration screen.
  t->respond_box()->setChecked(true);
  const std::size_t sent_before = server_->received().size();
  server_->Scan("4006381333931");
  ASSERT_TRUE(WaitUntil([&] { return LogHas(t, "4006381333931"); })) << t->log()->toPlainText().toStdString();
  // The screen went out, and the window's picture shows what the terminal's display shows.
  ASSERT_TRUE(WaitUntil([&] { return server_->received().size() > sent_before + 10; }));
  ASSERT_TRUE(WaitUntil([&] { return t->emulator().TrimmedRows() == server_->DisplayRows(); }));

  QTest::mouseClick(t->connect_button(), Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return !t->connected() && t->connect_button()->text() == "Connect"; }));
  ASSERT_TRUE(WaitUntil([&] { return LogHas(t, "<<<Connection Terminated>>>"); }));
  EXPECT_TRUE(fake_.boxes.isEmpty()) << fake_.boxes.join("\n").toStdString();
}

TEST_F(TerminalWindowTest, ATerminalThatStopsAnsweringEchoRequestsClosesItsWindow) {
  fake_.services.echo_checks = [](uint32_t, std::string&) -> terminal::EchoCheck {
    return [](std::string&) { return terminal::EchoVerdict::kNoAnswer; };
  };
  Start(true);
  QPointer<TerminalWindow> t = OpenTerminal();
  ASSERT_TRUE(t);
  t->Connect();
  ASSERT_TRUE(WaitUntil([&] { return t.isNull(); }));
}

TEST_F(TerminalWindowTest, ATcpClientTerminalIsOfferedTheConfigurationDialog) {
  Start(false);
  answer_ = QMessageBox::No;
  EXPECT_EQ(OpenTerminal(), nullptr);
  answer_ = QMessageBox::Yes;
  EXPECT_EQ(OpenTerminal(), nullptr);
  ASSERT_EQ(fake_.boxes.size(), 2);
  EXPECT_TRUE(fake_.boxes[0].startsWith("Incompatible Configuration...|This Corvane should be configured as 'TCP Server'"));
  EXPECT_EQ(config_dialogs_, 1);  // only the Yes opened it
}

TEST_F(TerminalWindowTest, RetailChainFirmwareGetsNoTerminal) {
  Start(true, 3);
  EXPECT_EQ(OpenTerminal(), nullptr);
  ASSERT_EQ(fake_.boxes.size(), 1);
  EXPECT_TRUE(fake_.boxes[0].startsWith("MARLO firmware detected|The device you are trying to connect to, is running\n"));
}

}  // namespace
}  // namespace kt::ui
