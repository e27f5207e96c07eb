// The main window against simulated terminals on loopback: scan, sorting, the enabling rules,
// the mode toggle, leaving during a scan, keyboard use, the start-up question and messages.
#include "tool/ui/main_window.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

#include "tool/ui/adapter_dialogs.h"
#include "tool/ui/host_loop.h"
#include "tool/ui/sim_fixture.h"
#include "tool/ui/skin.h"
#include "tool/ui/test_app.h"

namespace kt::ui {
namespace {

using discovery::SortColumn;
using testing::FakeServices;
using testing::SimTerminal;

// Four terminals whose order differs in every column: IP addresses sort as text.
const std::vector<SimTerminal> kFour = {
    {"10.0.0.20", "03.10", "Delta"},
    {"10.0.0.100", "01.05", "Alpha"},
    {"10.0.0.3", "02.10", "Charlie"},
    {"192.168.1.9", "03.12", "Bravo"},
};

// Generous bound for a scan of two seconds, so a loaded machine does not fail the test.
constexpr int kScanBoundMs = 30000;

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::TestApp();
    sim_ = testing::StartTerminals(kFour);
    ASSERT_TRUE(sim_);
    state_.discovery_to = sim_->endpoint();
    state_.scan_seconds = 2;
    fake_.store.stored.key_existed = true;
    fake_.store.stored.graphical_ui = 0;
    fake_.adapters = {testing::MakeAdapter("eth0", 1, {"192.168.1.20"})};
  }

  std::unique_ptr<MainWindow> Open(bool graphical, bool recreated = false) {
    fake_.store.stored.graphical_ui = graphical ? 1 : 0;
    auto w = std::make_unique<MainWindow>(state_, fake_.services, recreated);
    w->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    return w;
  }

  static bool Scan(MainWindow& w) {
    QSignalSpy ended(&w, &MainWindow::ScanEnded);
    QTest::mouseClick(w.scan_button(), Qt::LeftButton);
    return ended.wait(kScanBoundMs);
  }

  static std::vector<std::string> Names(MainWindow& w) {
    std::vector<std::string> names;
    for (const std::string& line : w.device_list()->Lines()) {
      std::string name = line.substr(43);
      name.erase(name.find_last_not_of(' ') + 1);
      names.push_back(name);
    }
    return names;
  }

  static void ContextMenu(MainWindow& w) {
    QContextMenuEvent e(QContextMenuEvent::Mouse, QPoint(5, 5), w.mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(&w, &e);
  }

  std::unique_ptr<sim::UdpTerminals> sim_;
  ToolState state_;
  FakeServices fake_;
};

TEST_F(MainWindowTest, ScanListsTheTerminalsSortedByMacWithTheFirstSelected) {
  auto w = Open(false);
  EXPECT_EQ(w->status_label()->text(), "Status: Idle");
  EXPECT_EQ(w->windowTitle(), "Corvane KX25 Configuration Tool   v" + ProgramVersion());
  ASSERT_TRUE(Scan(*w));
  EXPECT_EQ(w->status_label()->text(), "Nr of units found: 4");
  EXPECT_EQ(w->scan_button()->text(), "Scan");
  EXPECT_EQ(Names(*w), (std::vector<std::string>{"Delta", "Alpha", "Charlie", "Bravo"}));
  EXPECT_EQ(w->device_list()->Lines()[0],
            "10.0.0.20        02-4B-58-00-00-01  03.10  Delta                     ");
  EXPECT_EQ(w->device_list()->currentRow(), 0);
  EXPECT_EQ(w->marker(SortColumn::kMac)->direction(), SortMarker::Direction::kUp);
  // Each line carries its terminal: actions never parse the text.
  w->device_list()->setCurrentRow(2);
  config::Mac mac{};
  uint32_t ip = 0;
  ASSERT_TRUE(w->device_list()->FocusedTerminal(mac, ip));
  EXPECT_EQ(mac, sim_->MacOf(2));
  EXPECT_EQ(ip, 0x0A000003u);
  EXPECT_EQ(state_.table.size(), 4u);
}

TEST_F(MainWindowTest, HeadersSortEveryColumnBothWays) {
  auto w = Open(false);
  ASSERT_TRUE(Scan(*w));
  struct Step {
    SortColumn click;
    int mode;
    std::vector<std::string> names;
  };
  const Step steps[] = {
      {SortColumn::kMac, 3, {"Bravo", "Charlie", "Alpha", "Delta"}},
      {SortColumn::kMac, 2, {"Delta", "Alpha", "Charlie", "Bravo"}},
      {SortColumn::kIp, 0, {"Alpha", "Delta", "Charlie", "Bravo"}},  // 10.0.0.100 < 10.0.0.20 as text
      {SortColumn::kIp, 1, {"Bravo", "Charlie", "Delta", "Alpha"}},
      {SortColumn::kFirmware, 4, {"Alpha", "Charlie", "Delta", "Bravo"}},
      {SortColumn::kFirmware, 5, {"Bravo", "Delta", "Charlie", "Alpha"}},
      {SortColumn::kName, 6, {"Alpha", "Bravo", "Charlie", "Delta"}},
      {SortColumn::kName, 7, {"Delta", "Charlie", "Bravo", "Alpha"}},
      {SortColumn::kIp, 0, {"Alpha", "Delta", "Charlie", "Bravo"}},  // another column: ascending
  };
  for (const Step& s : steps) {
    QTest::mouseClick(w->header(s.click), Qt::LeftButton);
    EXPECT_EQ(state_.sort_mode, s.mode);
    EXPECT_EQ(Names(*w), s.names) << "mode " << s.mode;
    EXPECT_EQ(w->device_list()->currentRow(), 0);
    for (int c = 0; c < 4; ++c) {
      const auto expected = c != static_cast<int>(s.click) ? SortMarker::Direction::kNone
                            : s.mode % 2 ? SortMarker::Direction::kDown
                                         : SortMarker::Direction::kUp;
      EXPECT_EQ(w->marker(static_cast<SortColumn>(c))->direction(), expected) << "mode " << s.mode;
    }
  }
  // The item data moves with its line.
  config::Mac mac{};
  uint32_t ip = 0;
  ASSERT_TRUE(w->device_list()->FocusedTerminal(mac, ip));
  EXPECT_EQ(mac, sim_->MacOf(1));  // Alpha
}

TEST_F(MainWindowTest, ActionButtonsFollowTheScan) {
  for (bool graphical : {false, true}) {
    SCOPED_TRACE(graphical ? "graphical" : "classic");
    auto w = Open(graphical);
    QAbstractButton* actions[] = {w->configure_button(), w->firmware_button(), w->terminal_button()};
    for (QAbstractButton* b : actions) {
      EXPECT_FALSE(b->isEnabled());
      EXPECT_EQ(b->isHidden(), graphical);
    }
    QSignalSpy ended(w.get(), &MainWindow::ScanEnded);
    QTest::mouseClick(w->scan_button(), Qt::LeftButton);
    EXPECT_TRUE(w->scanning());
    if (!graphical) {
      EXPECT_EQ(w->scan_button()->text(), "Stop");
    }
    for (QAbstractButton* b : actions) EXPECT_FALSE(b->isEnabled());
    ContextMenu(*w);  // no menu during a scan
    EXPECT_EQ(fake_.menus_opened, 0);
    ASSERT_TRUE(ended.wait(kScanBoundMs));
    EXPECT_TRUE(w->firmware_button()->isEnabled());
    EXPECT_TRUE(w->configure_button()->isEnabled());
    EXPECT_TRUE(w->terminal_button()->isEnabled());
    for (QAbstractButton* b : actions) EXPECT_FALSE(b->isHidden());
    EXPECT_FALSE(w->clone_button()->isVisible());  // never shown
    ContextMenu(*w);
    EXPECT_EQ(fake_.menus_opened, 1);
    fake_.menus_opened = 0;
  }
}

TEST_F(MainWindowTest, NoTerminalsLeaveTheActionsDisabled) {
  sim_->Stop();
  auto w = Open(true);
  ASSERT_TRUE(Scan(*w));
  EXPECT_EQ(w->status_label()->text(), "Nr of units found: 0");
  EXPECT_FALSE(w->firmware_button()->isEnabled());
  EXPECT_TRUE(w->firmware_button()->isHidden());
}

TEST_F(MainWindowTest, StopEndsTheScanWithTheCountSoFar) {
  state_.scan_seconds = 600;
  auto w = Open(false);
  QSignalSpy ended(w.get(), &MainWindow::ScanEnded);
  QTest::mouseClick(w->scan_button(), Qt::LeftButton);
  QTRY_COMPARE_WITH_TIMEOUT(w->device_list()->count(), 4, kScanBoundMs);
  QTest::mouseClick(w->scan_button(), Qt::LeftButton);  // Stop
  ASSERT_TRUE(ended.wait(kScanBoundMs));
  EXPECT_EQ(w->status_label()->text(), "Nr of units found: 4");
}

TEST_F(MainWindowTest, SelectingDuringAScanEndsItAndKeepsArrivalOrder) {
  state_.scan_seconds = 600;
  state_.sort_mode = 6;  // by name: arrival order differs
  auto w = Open(false);
  QSignalSpy ended(w.get(), &MainWindow::ScanEnded);
  QTest::mouseClick(w->scan_button(), Qt::LeftButton);
  QTRY_COMPARE_WITH_TIMEOUT(w->device_list()->count(), 4, kScanBoundMs);
  w->device_list()->setCurrentRow(1);
  ASSERT_TRUE(ended.wait(kScanBoundMs));  // the next tick ends it, long before the countdown would
  EXPECT_EQ(Names(*w), (std::vector<std::string>{"Delta", "Alpha", "Charlie", "Bravo"}));
  EXPECT_EQ(w->device_list()->currentRow(), 1);
  for (int c = 0; c < 4; ++c) EXPECT_EQ(w->marker(static_cast<SortColumn>(c))->direction(), SortMarker::Direction::kNone);
}

TEST_F(MainWindowTest, ASelectionBeforeTheScanIsNotTheUsersChoiceDuringIt) {
  state_.sort_mode = 6;  // by name: arrival order differs
  auto w = Open(false);
  ASSERT_TRUE(Scan(*w));
  w->device_list()->setCurrentRow(3);
  // The new scan empties the list (a selection change the window makes): the scan runs its
  // full time and ends sorted.
  ASSERT_TRUE(Scan(*w));
  EXPECT_EQ(Names(*w), (std::vector<std::string>{"Alpha", "Bravo", "Charlie", "Delta"}));
  EXPECT_EQ(w->device_list()->currentRow(), 0);
  EXPECT_EQ(w->marker(SortColumn::kName)->direction(), SortMarker::Direction::kUp);
}

TEST_F(MainWindowTest, ModeToggleReopensInTheOtherModeWithTheSameList) {
  // The host loop: the first window (classic) scans and toggles from its context menu; the
  // second (graphical) must show the same terminals, sorted, and is closed with Escape.
  // The loop keeps its window on the stack, so both windows may share an address: the phase
  // tells them apart.
  int phase = 0;  // 0: first window, scan not started; 1: scanning; 2: toggled; 3: second seen
  std::vector<bool> modes;
  std::vector<std::vector<std::string>> lists;
  fake_.on_menu = [](QMenu& m) -> QAction* {
    for (QAction* a : m.actions()) if (a->text() == "Toggle User Interface mode") return a;
    return nullptr;
  };
  QTimer driver;
  driver.setInterval(20);
  QObject::connect(&driver, &QTimer::timeout, [&] {
    auto* w = qobject_cast<MainWindow*>(QApplication::activeModalWidget());
    if (!w || !w->isVisible()) return;
    if (phase == 0) {
      modes.push_back(w->graphical());
      phase = 1;
      w->ScanPressed();
    } else if (phase == 1 && !w->scanning() && w->device_list()->count() == 4) {
      state_.sort_mode = 1;  // IP descending survives the toggle
      phase = 2;
      ContextMenu(*w);
    } else if (phase == 2) {
      modes.push_back(w->graphical());
      phase = 3;
    } else if (phase == 3 && w->device_list()->count() == 4) {
      lists.push_back(w->device_list()->Lines());
      EXPECT_TRUE(w->firmware_button()->isEnabled());
      EXPECT_TRUE(w->firmware_button()->isHidden());  // the skin shows it after the next scan
      phase = 4;
      QTest::keyClick(w, Qt::Key_Escape);
    }
  });
  // A test that goes wrong closes the window instead of hanging.
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [] {
    if (QWidget* w = QApplication::activeModalWidget()) w->close();
  });
  guard.start(kScanBoundMs * 2);
  driver.start();
  fake_.store.stored.graphical_ui = 0;
  EXPECT_EQ(RunHostLoop(state_, fake_.services), 0);
  driver.stop();
  EXPECT_EQ(phase, 4);
  EXPECT_EQ(modes, (std::vector<bool>{false, true}));
  EXPECT_EQ(fake_.store.saves, 1);  // the toggle saves; Escape does not
  EXPECT_EQ(fake_.store.stored.graphical_ui, 1u);
  ASSERT_EQ(lists.size(), 1u);
  ASSERT_EQ(lists[0].size(), 4u);
  EXPECT_EQ(lists[0][0].substr(0, 11), "192.168.1.9");  // sorted by IP, descending
}

TEST_F(MainWindowTest, LeavingDuringAScanStopsItAndWaitsForIt) {
  state_.scan_seconds = 600;
  // Exit: stops, waits, saves.
  {
    auto w = Open(true);
    QTest::mouseClick(w->scan_button(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(w->device_list()->count(), 4, kScanBoundMs);
    QTest::mouseClick(w->exit_button(), Qt::LeftButton);
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(w->scanning());
    EXPECT_EQ(w->result(), QDialog::Rejected);
    EXPECT_EQ(w->status_label()->text(), "Status: Exiting program");
    EXPECT_EQ(fake_.store.saves, 1);
  }
  // Escape and the close box: stop and wait, nothing saved.
  for (int how = 0; how < 2; ++how) {
    auto w = Open(false);
    QTest::mouseClick(w->scan_button(), Qt::LeftButton);
    ASSERT_TRUE(w->scanning());
    if (how == 0) QTest::keyClick(w.get(), Qt::Key_Escape);
    if (how == 1) w->close();
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(w->scanning());
    EXPECT_EQ(fake_.store.saves, 1);
  }
  // Destroyed outright while scanning: the worker's queued calls die with the window.
  {
    auto w = Open(false);
    QTest::mouseClick(w->scan_button(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(w->device_list()->count() > 0, kScanBoundMs);
    w.reset();
    QApplication::processEvents();
  }
}

TEST_F(MainWindowTest, UsableFromTheKeyboard) {
  auto w = Open(false);
  EXPECT_EQ(QApplication::focusWidget(), w->scan_button());
  QSignalSpy ended(w.get(), &MainWindow::ScanEnded);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);  // Space presses Scan
  EXPECT_TRUE(w->scanning());
  ASSERT_TRUE(ended.wait(kScanBoundMs));
  w->scan_button()->setFocus();
  // Tab: Scan, then the enabled buttons in the order Configure, Firmware, Terminal.
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), w->configure_button());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), w->firmware_button());
  bool firmware_dialog = false;
  fake_.on_modal = [&](QDialog& d) {
    firmware_dialog = d.windowTitle() == "Firmware Upgrade";
    return static_cast<int>(QDialog::Rejected);
  };
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
  EXPECT_TRUE(firmware_dialog);
  // F1 opens About.
  fake_.on_modal = nullptr;
  QTest::keyClick(w.get(), Qt::Key_F1);
  EXPECT_EQ(fake_.boxes, QStringList{"About...|Corvane KX25 Configuration Utility"});
}

TEST_F(MainWindowTest, HighResolutionMessageAbove120Dpi) {
  for (int dpi : {96, 120, 144}) {
    fake_.boxes.clear();
    fake_.services.logical_dpi = dpi;
    MainWindow w(state_, fake_.services, false);
    EXPECT_EQ(fake_.boxes.size(), dpi > 120 ? 1 : 0) << dpi;
    if (dpi > 120) {
      EXPECT_EQ(fake_.boxes[0], QString("Corvane KX25 Configuration Tool|") + kDpiMessage);
    }
  }
}

TEST_F(MainWindowTest, AdapterQuestionAtTheFirstWindowOnly) {
  fake_.adapters = {testing::MakeAdapter("eth0", 1, {"192.168.1.20"}),
                    testing::MakeAdapter("wlan0", 2, {"10.0.8.14"}, /*wireless=*/true)};
  fake_.store.stored = {};  // no key: the question may be asked
  QStringList dialogs;
  fake_.on_modal = [&](QDialog& d) {
    dialogs << d.windowTitle();
    if (auto* q = qobject_cast<AdapterQuestion*>(&d)) {
      q->dont_ask()->click();  // takes effect at once, whatever button ends the dialog
      return static_cast<int>(QDialog::Accepted);
    }
    return static_cast<int>(QDialog::Rejected);
  };
  { MainWindow w(state_, fake_.services, false); }
  EXPECT_EQ(dialogs, (QStringList{"Multiple Network Adapters found...", "Local Network Adapter(s)"}));
  EXPECT_FALSE(state_.settings.ask_for_adapter);
  dialogs.clear();
  state_.settings.ask_for_adapter = true;
  { MainWindow w(state_, fake_.services, true); }  // re-created after a toggle: never asked
  EXPECT_TRUE(dialogs.isEmpty());
}

TEST(Skin, KeyColourToleranceIsOneAbove) {
  testing::TestApp();  // regions are made from bitmaps, which need the application
  struct Case {
    int r, g, b;
    bool key;
  };
  const Case cases[] = {{0, 255, 0, true},    {1, 255, 0, true},  {0, 255, 1, true},  {1, 255, 1, true},
                        {2, 255, 0, false},   {0, 254, 0, false}, {0, 255, 2, false}, {255, 255, 255, false}};
  for (const Case& c : cases) EXPECT_EQ(IsKeyColour(qRgb(c.r, c.g, c.b)), c.key) << c.r << "," << c.g << "," << c.b;
  QImage img(4, 1, QImage::Format_RGB32);
  img.setPixel(0, 0, qRgb(0, 255, 0));
  img.setPixel(1, 0, qRgb(1, 255, 1));
  img.setPixel(2, 0, qRgb(2, 255, 0));
  img.setPixel(3, 0, qRgb(30, 40, 50));
  const QRegion shape = OpaqueRegion(img);
  EXPECT_FALSE(shape.contains(QPoint(0, 0)));
  EXPECT_FALSE(shape.contains(QPoint(1, 0)));
  EXPECT_TRUE(shape.contains(QPoint(2, 0)));
  EXPECT_TRUE(shape.contains(QPoint(3, 0)));
}

TEST_F(MainWindowTest, GraphicalLayoutAndTooltips) {
  auto w = Open(true);
  EXPECT_EQ(w->size(), QSize(690, 322));
  EXPECT_FALSE(w->shape().contains(QPoint(0, 0)));  // corners are cut out
  EXPECT_TRUE(w->shape().contains(QPoint(400, 160)));
  EXPECT_EQ(w->windowTitle(), "Corvane KX25 Configuration Tool");
  EXPECT_EQ(w->scan_button()->geometry(), QRect(170, 65, 92, 36));
  EXPECT_EQ(w->terminal_button()->geometry(), QRect(170, 197, 92, 36));
  EXPECT_EQ(w->device_list()->geometry(), QRect(265, 70, 410, 195));
  EXPECT_EQ(w->scan_button()->toolTip(), "Search the network...");
  EXPECT_EQ(w->configure_button()->toolTip(), "Configure the selected Corvane...");
  EXPECT_EQ(w->firmware_button()->toolTip(),
            "\nUpload firmware using TFTP.\n\nMake sure the Corvane is in the same IP-subnet as your PC !\n");
  EXPECT_EQ(w->network_button()->toolTip(), "Select local network adapter");
  EXPECT_EQ(w->minimize_button()->toolTip(), "Minimize this window...");
  EXPECT_EQ(w->exit_button()->toolTip(), "Exit this program...");
  EXPECT_EQ(w->status_label()->palette().color(QPalette::WindowText), QColor(255, 204, 0));
  EXPECT_EQ(w->device_list()->palette().color(QPalette::Text), QColor(255, 255, 255));

  // SEARCHONLY: the skin offers Scan alone.
  w.reset();
  state_.flags = ParseProgramWord("searchonly");
  ASSERT_TRUE(state_.flags.search_only);
  w = Open(true);
  EXPECT_TRUE(w->firmware_button()->toolTip().isEmpty());
  ASSERT_TRUE(Scan(*w));
  EXPECT_TRUE(w->firmware_button()->isHidden());
  EXPECT_EQ(w->device_list()->count(), 4);
}

TEST_F(MainWindowTest, DraggingTheSkinMovesTheWindow) {
  auto w = Open(true);
  w->move(100, 100);
  const QPoint start = w->pos();
  w->device_list()->setFocus();
  QTest::mousePress(w.get(), Qt::LeftButton, Qt::NoModifier, QPoint(400, 300));  // background
  QTest::mouseMove(w.get(), QPoint(450, 310));
  QTest::mouseRelease(w.get(), Qt::LeftButton, Qt::NoModifier, QPoint(450, 310));
  EXPECT_EQ(w->pos() - start, QPoint(50, 10));
  EXPECT_EQ(QApplication::focusWidget(), w->scan_button());  // released: focus back on Scan
}

TEST_F(MainWindowTest, ClassicModeHasNoSkinButtons) {
  auto w = Open(false);
  EXPECT_EQ(w->network_button(), nullptr);
  EXPECT_EQ(w->exit_button(), nullptr);
  EXPECT_EQ(w->scan_button()->text(), "Scan");
  // Laid out in dialog units: Configure sits below Scan, the list right of the buttons.
  EXPECT_GT(w->configure_button()->y(), w->scan_button()->geometry().bottom());
  EXPECT_GT(w->device_list()->x(), w->scan_button()->geometry().right());
}

}  // namespace
}  // namespace kt::ui
