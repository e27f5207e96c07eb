#include "server/ui/winstarting.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <fstream>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "server/app/server_core.h"
#include "server/data/demo/demo_data.h"
#include "server/data/settings_table.h"
#include "server/ui/activity_list.h"
#include "server/ui/core_control.h"
#include "server/ui/line_log.h"
#include "server/ui/qt_test_app.h"
#include "server/ui/status_texts.h"
#include "server/ui/ui_test_support.h"
#include "server/ui/window_sink.h"
#include "server/ui/wintestresult.h"

namespace kt::ui {
namespace {

using testing::FakeServer;
using testing::RecordedPrompts;
using testing::TempFolder;

const QString kBlocked = QStringLiteral("KT-Vistrand TCP Server anda diblokir oleh Firewall/Antivirus/Malware !");

class WinStartingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestApp();
    ASSERT_TRUE(data::LoadSettings(folder_.path(), globals_).ok());
    log_ = std::make_unique<LineLog>(folder_.path() / "KTVistrd.log");
    sink_ = std::make_unique<WindowSink>(log_.get());
  }

  // Opens the window; unless told not to, waits until the first probe's verdict has arrived.
  void Open(bool tray = true, bool wait_for_probe = true) {
    WINSTARTING::Options o;
    o.workdir = folder_.path();
    o.prompts = prompts_.Make();
    o.tray_available = tray;
    o.quit = [this] { ++quits_; };
    window_ = std::make_unique<WINSTARTING>(server_, globals_, *sink_, o);
    window_->PostInit();
    if (wait_for_probe) {
      ASSERT_TRUE(QTest::qWaitFor([this] { return window_->probesAnswered() == 1; }, 10000));
    }
  }

  // One SERVERCHECK tick; when it probes, waits until that probe's verdict has arrived.
  void Tick() {
    const int answered = window_->probesAnswered();
    const bool probes = !server_.passed;
    window_->SERVERCHECK();
    if (probes) {
      ASSERT_TRUE(QTest::qWaitFor([&] { return window_->probesAnswered() == answered + 1; }, 10000));
    }
  }

  template <typename T>
  T* Control(const char* id) const { return window_->findChild<T*>(id); }

  TempFolder folder_{"winstarting"};
  data::GLOBALVARIABLE globals_;
  FakeServer server_;
  RecordedPrompts prompts_;
  std::unique_ptr<LineLog> log_;
  std::unique_ptr<WindowSink> sink_;
  std::unique_ptr<app::ServerCore> core_;  // when a test drives the real one
  std::unique_ptr<CoreControl> control_;
  std::unique_ptr<WINSTARTING> window_;
  int quits_ = 0;
};

TEST_F(WinStartingTest, ControlsShowTheirTexts) {
  server_.passed = true;
  Open();
  EXPECT_TRUE(window_->isHidden()) << "created hidden";
  auto* title = Control<QLabel>("id102");
  ASSERT_NE(title, nullptr);
  EXPECT_EQ(title->text(), "KT-Vistrand TCP Server, Build: 3");
  EXPECT_TRUE(title->font().bold());
  EXPECT_EQ(Control<QLabel>("id103")->text(), "TCP Port :");
  EXPECT_TRUE(QRegularExpression("^\\d\\d (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \\d{4}  \\d\\d:\\d\\d$")
                  .match(Control<QLabel>("id104")->text())
                  .hasMatch())
      << Control<QLabel>("id104")->text().toStdString();
  EXPECT_TRUE(Control<QLabel>("id105")->text().startsWith("IP: "));
  EXPECT_EQ(Control<QLineEdit>("id107")->text(), "9101");
  EXPECT_TRUE(Control<QLineEdit>("id107")->isReadOnly());
  EXPECT_EQ(Control<QPushButton>("id108")->text(), "&Setting");
  EXPECT_EQ(Control<QPushButton>("id109")->text(), "&Tutup");
  for (ActivityList* list : {window_->connectionList(), window_->scanList()}) {
    EXPECT_EQ(list->headerItem()->text(0), "Info");
    EXPECT_EQ(list->columnCount(), 1);
  }
  EXPECT_TRUE(window_->windowTitle().startsWith("KT-Vistrand TCP Server, Build: 3\r\nIP: "));
  EXPECT_TRUE(window_->windowTitle().endsWith(" Port: 9101"));
  EXPECT_EQ(server_.starts.load(), 1);
  EXPECT_TRUE(window_->checkTimer().isActive());
  EXPECT_EQ(window_->checkTimer().interval(), 10000);
}

TEST_F(WinStartingTest, ListsDropTheirOldestLinePastTheLimit) {
  Open();
  struct Case {
    ActivityList* list;
    int lines;
    int kept;
  } cases[] = {{window_->connectionList(), 52, 51}, {window_->scanList(), 102, 101}};
  for (const Case& c : cases) {
    for (int i = 1; i <= c.lines; ++i) {
      if (c.list == window_->connectionList()) {
        sink_->ConnectedInfo("line " + std::to_string(i));
      } else {
        sink_->ScanInfo("line " + std::to_string(i));
      }
    }
    const QStringList lines = c.list->Lines();
    ASSERT_EQ(lines.size(), c.kept);
    EXPECT_EQ(lines.front(), "line 2") << "the first line went";
    EXPECT_EQ(lines.back(), QString("line %1").arg(c.lines));
    EXPECT_EQ(c.list->currentItem()->text(0), lines.back()) << "the new line is selected";
  }
}

TEST_F(WinStartingTest, LinesBeforeTheWindowRegisteredAppearInItsLists) {
  // The listener starts before the window exists and reports at once.
  sink_->ConnectedInfo("Start port listening... ");
  sink_->ConnectedInfo("Firewall testing passed...");
  Open();
  EXPECT_EQ(window_->connectionList()->Lines(),
            (QStringList{"Start port listening... ", "Firewall testing passed..."}));
  window_.reset();  // unregisters: later lines go to the log only
  sink_->ConnectedInfo("after the window");
  log_->Flush();
  std::stringstream all;
  all << std::ifstream(log_->file()).rdbuf();
  EXPECT_NE(all.str().find(" C after the window"), std::string::npos);
}

TEST_F(WinStartingTest, LinesFromManyThreadsNeverBlockAndAllReachTheLog) {
  Open();
  constexpr int kThreads = 4, kLines = 300;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kLines; ++i) sink_->ScanInfo("T" + std::to_string(t) + " scan " + std::to_string(i));
    });
  }
  for (auto& t : threads) t.join();
  QCoreApplication::processEvents();
  EXPECT_LE(window_->scanList()->Lines().size(), WINSTARTING::kScanListLines);
  EXPECT_GT(window_->scanList()->Lines().size(), 0);

  log_->Flush();
  std::ifstream in(log_->file());
  int logged = 0;
  for (std::string line; std::getline(in, line);) logged += line.find(" S T") != std::string::npos;
  EXPECT_EQ(logged, kThreads * kLines);
}

TEST_F(WinStartingTest, MinimizeAndTutupHideToTheTray) {
  Open(/*tray=*/true);
  window_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  window_->setWindowState(Qt::WindowMinimized);
  QTRY_VERIFY(window_->isHidden());
  window_->TRAYICONCLICKED();
  EXPECT_TRUE(window_->isVisible());
  EXPECT_FALSE(window_->isMinimized());

  QTest::mouseClick(Control<QPushButton>("id109"), Qt::LeftButton);
  EXPECT_TRUE(window_->isHidden());

  // The close box only hides; the program keeps running.
  window_->show();
  window_->close();
  EXPECT_TRUE(window_->isHidden());
  EXPECT_TRUE(prompts_.questions.isEmpty());
  EXPECT_EQ(quits_, 0);
}

TEST_F(WinStartingTest, WithoutATrayTheWindowStaysReachable) {
  Open(/*tray=*/false);
  window_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  QTest::mouseClick(Control<QPushButton>("id109"), Qt::LeftButton);
  QCoreApplication::processEvents();
  EXPECT_FALSE(window_->isHidden());
  window_->close();
  QCoreApplication::processEvents();
  EXPECT_FALSE(window_->isHidden());
}

TEST_F(WinStartingTest, ExitNeedsConfirmation) {
  Open();
  prompts_.answer = false;
  window_->BUTTONTUTUP();
  ASSERT_EQ(prompts_.questions, QStringList{"Exit/Keluar KT-Vistrand TCP Server ?"});
  EXPECT_EQ(quits_, 0);
  EXPECT_TRUE(window_->checkTimer().isActive()) << "still running";

  // The flag was cleared: a plain close hides without asking.
  window_->close();
  EXPECT_EQ(prompts_.questions.size(), 1);

  prompts_.answer = true;
  window_->BUTTONTUTUP();
  EXPECT_EQ(prompts_.questions.size(), 2);
  EXPECT_EQ(quits_, 1);
  EXPECT_FALSE(window_->checkTimer().isActive());
}

TEST_F(WinStartingTest, BlockedTextWhileTheProbeCannotArriveAndItsClearing) {
  server_.passed = false;
  Open();
  const int balloons_at_start = window_->balloonCount();
  EXPECT_EQ(window_->state(), 3);
  EXPECT_TRUE(window_->trayIconIsAttention());
  EXPECT_TRUE(window_->trayToolTip().endsWith("\r\n### " + kBlocked + " ###")) << window_->trayToolTip().toStdString();

  for (int tick = 1; tick <= 2; ++tick) {
    Tick();
    EXPECT_EQ(server_.starts.load(), 1 + tick) << "every tick sends a new probe";
    EXPECT_EQ(Control<QLabel>("id106")->text(), kBlocked);
    EXPECT_EQ(window_->balloonCount(), balloons_at_start + tick);
    EXPECT_EQ(window_->lastBalloonTitle(), "KT-Vistrand TCP Server, Build: 3");
    EXPECT_TRUE(window_->lastBalloonText().startsWith("### " + kBlocked + " ###\r\n"));
    EXPECT_TRUE(window_->trayIconIsAttention());
    EXPECT_EQ(window_->state(), 3);
  }

  server_.passed = true;  // the first probe came through
  Tick();
  EXPECT_EQ(Control<QLabel>("id106")->text(), "");
  EXPECT_FALSE(window_->trayIconIsAttention());
  EXPECT_EQ(window_->state(), 1);
  EXPECT_FALSE(window_->trayToolTip().contains("###"));
  EXPECT_TRUE(window_->trayToolTip().endsWith(" Port: 9101"));

  // Once passed and clear, ticks do nothing more.
  const int balloons = window_->balloonCount();
  Tick();
  EXPECT_EQ(window_->balloonCount(), balloons);
  EXPECT_EQ(server_.starts.load(), 3);
}

// The data folder is missing at start (a share that mounts late): the box at start as ever, then
// the status label says terminals are turned away, and the database opens once the folder is
// there, without more boxes and without a restart. The window mode's own pieces: the real
// start-up core behind the window, as the window program wires them.
TEST_F(WinStartingTest, ADataFolderThatAppearsLaterIsOpenedWithoutARestart) {
  std::vector<std::string> boxes;
  sink_->SetErrorBox([&](const std::string& text) { boxes.push_back(text); });
  data::ConfigValues config = globals_.Config();
  config.location = (folder_.path() / "late").string();
  {
    auto table = data::KTCONFIG::Open(folder_.path());
    ASSERT_TRUE(table.ok());
    ASSERT_TRUE((*table)->Write(config).ok());
    ASSERT_TRUE((*table)->Close().ok());
  }
  app::CoreOptions options;
  options.workdir = folder_.path();
  options.port = 0;
  options.bind_ip = "127.0.0.1";
  core_ = std::make_unique<app::ServerCore>(options, *sink_);
  app::ServerCore& core = *core_;
  ASSERT_TRUE(core.Start().ok());
  control_ = std::make_unique<CoreControl>(core);
  WINSTARTING::Options o;
  o.workdir = folder_.path();
  o.prompts = prompts_.Make();
  o.tray_available = true;
  o.quit = [this] { ++quits_; };
  window_ = std::make_unique<WINSTARTING>(*control_, core.globals(), *sink_, o);
  window_->PostInit();
  EXPECT_FALSE(core.globals().IsDatabaseOpen());
  ASSERT_EQ(boxes, std::vector<std::string>{"Gagal buke file S_KONTRO !"});
  auto* label = Control<QLabel>("id106");
  const QString waiting = QStringLiteral("Database belum dibuka / Lokasi tidak ketemu ! Terminal ditolak");
  EXPECT_TRUE(QTest::qWaitFor([&] { return label->text().startsWith(waiting); }, 10000)) << label->text().toStdString();

  ASSERT_TRUE(data::demo::WriteDemoDataSet(folder_.path() / "late", {.item_count = 10}).ok());
  EXPECT_TRUE(QTest::qWaitFor([&] { return core.globals().IsDatabaseOpen(); }, 30000));
  EXPECT_TRUE(QTest::qWaitFor([&] { return !label->text().startsWith(waiting); }, 10000));
  EXPECT_EQ(boxes.size(), 1u) << "retries show no boxes";
}

TEST_F(WinStartingTest, TakenPortIsNamed) {
  server_.passed = false;
  server_.listening = false;  // the bind failed: the probe went to another program
  server_.port = 9555;
  Open();
  Tick();
  EXPECT_EQ(Control<QLabel>("id106")->text(), "Port: 9555 telah dipakai oleh aplikasi lain !");
}

// A probe stuck on a blocked port waits up to a second for its verdict: it runs off the window
// thread, the window keeps serving events meanwhile, and its verdict arrives as an event.
TEST_F(WinStartingTest, TheProbeNeverHoldsTheWindowThread) {
  server_.passed = false;
  server_.hold = true;
  const auto start = std::chrono::steady_clock::now();
  Open(/*tray=*/true, /*wait_for_probe=*/false);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3)) << "PostInit waited for the probe";
  ASSERT_TRUE(QTest::qWaitFor([this] { return server_.starts.load() == 1; }, 10000));
  EXPECT_NE(server_.probe_thread, std::this_thread::get_id());
  EXPECT_TRUE(window_->probeRunning());

  bool served = false;
  QTimer::singleShot(0, window_.get(), [&served] { served = true; });
  EXPECT_TRUE(QTest::qWaitFor([&served] { return served; }, 2000)) << "the window thread is free";
  window_->SERVERCHECK();  // a tick while the probe is under way starts no second one
  EXPECT_EQ(server_.starts.load(), 1);
  EXPECT_EQ(window_->probesAnswered(), 0);

  server_.Release();
  ASSERT_TRUE(QTest::qWaitFor([this] { return window_->probesAnswered() == 1; }, 10000));
  EXPECT_FALSE(window_->probeRunning());
  EXPECT_TRUE(window_->trayToolTip().endsWith("\r\n### " + kBlocked + " ###")) << window_->trayToolTip().toStdString();

  // The next tick probes again, on another thread, and shows the blocked state from its verdict.
  Tick();
  EXPECT_EQ(server_.starts.load(), 2);
  EXPECT_NE(server_.probe_thread, std::this_thread::get_id());
  EXPECT_EQ(Control<QLabel>("id106")->text(), kBlocked);
}

TEST_F(WinStartingTest, NameLabelOpensTheTestWindow) {
  Open();
  window_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  QTest::mouseClick(Control<QLabel>("id102"), Qt::LeftButton);
  ASSERT_NE(window_->testWindow(), nullptr);
  EXPECT_EQ(window_->testWindow()->windowTitle(), "Simple Test Result");
  EXPECT_TRUE(window_->testWindow()->isVisible());
}

TEST(LineLogTest, OneLinePerEventAndRotationKeepsTheFileSmall) {
  TempFolder folder("linelog");
  const auto file = folder.path() / "KTVistrd.log";
  {
    LineLog log(file, /*max_bytes=*/2000);
    log.Add("S", "10.0.0.5 Received Data: F123\r\nsecond line");
    log.Flush();
    std::string first;
    std::getline(std::ifstream(file), first);
    EXPECT_TRUE(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d S 10.0.0.5 Received Data: F123\\\\x0D\\\\x0Asecond line$")
                    .match(QString::fromStdString(first))
                    .hasMatch())
        << first;
    for (int i = 0; i < 200; ++i) {
      log.Add("C", "line " + std::to_string(i));
      if (i % 20 == 0) log.Flush();  // rotation is checked per written batch
    }
  }
  auto rotated = file;
  rotated += ".1";
  ASSERT_TRUE(std::filesystem::exists(rotated));
  EXPECT_LT(std::filesystem::file_size(file), 4000u);
  EXPECT_NE(std::ifstream(file).peek(), EOF);
  std::stringstream tail;
  tail << std::ifstream(file).rdbuf();
  EXPECT_NE(tail.str().find("C line 199\n"), std::string::npos) << "the newest line is in the current file";
}

TEST(LineLogTest, AFullDiskNeitherBlocksNorHidesTheLoss) {
  // /dev/full takes the open and refuses every byte, as a full disk does.
  LineLog log("/dev/full");
  for (int i = 0; i < 50; ++i) log.Add("S", "10.0.0.5 Received Data: F" + std::to_string(i));
  ASSERT_TRUE(log.Flush());
  EXPECT_EQ(log.lost(), 50u);
}

TEST(StatusTextsTest, FirewallTextFirstMatchWins) {
  struct Case {
    bool sent, listening, passed;
    std::string text;
  } cases[] = {
      {true, false, false, "Port: 9101 telah dipakai oleh aplikasi lain !"},
      {true, false, true, "Port: 9101 telah dipakai oleh aplikasi lain !"},
      {false, false, false, kBlocked.toStdString()},
      {true, true, false, kBlocked.toStdString()},
      {true, true, true, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FirewallText(c.sent, c.listening, c.passed, 9101), c.text) << c.sent << c.listening << c.passed;
  }
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 0;
  t.tm_mday = 5;
  t.tm_hour = 7;
  t.tm_min = 3;
  EXPECT_EQ(StartTimeText(t), "05 Jan 2026  07:03");
  EXPECT_EQ(BalloonText("10.0.0.2", 9101, ""), "IP: 10.0.0.2   Port: 9101\r\n" + std::string(kNoticeLine));
}

}  // namespace
}  // namespace kt::ui
