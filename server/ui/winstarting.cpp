#include "server/ui/winstarting.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSessionManager>
#include <QSystemTrayIcon>
#include <QWindowStateChangeEvent>

#include <ctime>

#include "server/data/global_variable.h"
#include "server/ui/activity_list.h"
#include "server/ui/app_icons.h"
#include "server/ui/server_control.h"
#include "server/ui/status_texts.h"
#include "server/data/database_retry.h"
#include "server/data/messages.h"
#include "server/ui/window_sink.h"
#include "server/ui/winsetting.h"
#include "server/ui/wintestresult.h"

namespace kt::ui {
namespace {

QString Latin1(std::string_view s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }

// The dialog's layout is given in dialog units; these factors turn them into pixels for the
// usual Linux desktop font, which runs wider than the one the units were made for.
QRect Dlu(int x, int y, int w, int h) { return QRect(x * 7 / 4, y * 7 / 4, w * 7 / 4, h * 7 / 4); }

const QString kTitle = Latin1(kApplicationTitle);

}  // namespace

WINSTARTING::WINSTARTING(ServerControl& server, data::GLOBALVARIABLE& globals, WindowSink& sink,
                         Options options, QWidget* parent)
    : QDialog(parent), server_(server), globals_(globals), sink_(sink), options_(std::move(options)) {
  tray_available_ = options_.tray_available.value_or(QSystemTrayIcon::isSystemTrayAvailable());
  if (!options_.prompts.confirm) options_.prompts = MessageBoxPrompts();
  // exit(), not quit(): Qt 6's quit() first asks every window to close, and this one refuses.
  if (!options_.quit) options_.quit = [] { QCoreApplication::exit(0); };
  // No Size and Maximize: a fixed dialog that only minimizes (to the tray).
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  BuildControls();
  timer_.setInterval(kCheckPeriod);
  connect(&timer_, &QTimer::timeout, this, &WINSTARTING::SERVERCHECK);
  if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    // The end of the desktop session may close the window.
    connect(gui, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { session_ending_ = true; });
  }
}

WINSTARTING::~WINSTARTING() {
  // Its end event is dropped with this object; the probe itself ends within its bounded waits.
  if (probe_thread_.joinable()) probe_thread_.join();
  sink_.Unregister();
  TIMERSTOP();
  RemoveTrayIcon();
}

void WINSTARTING::BuildControls() {
  auto* icon = new QLabel(this);  // 100
  icon->setObjectName("id100");
  icon->setGeometry(Dlu(2, 2, 24, 22));
  icon->setPixmap(AppIcon().pixmap(32, 32));
  icon->setAlignment(Qt::AlignCenter);

  auto* frame = new QGroupBox(this);  // 101
  frame->setObjectName("id101");
  frame->setGeometry(Dlu(2, 24, 198, 52));

  title_ = new QLabel(this);  // 102
  title_->setObjectName("id102");
  title_->setGeometry(Dlu(29, 2, 171, 22));
  QFont bold = title_->font();
  bold.setBold(true);
  title_->setFont(bold);
  title_->setCursor(Qt::PointingHandCursor);
  title_->setToolTip(QStringLiteral("Simple Test Result"));
  title_->installEventFilter(this);

  auto* port_label = new QLabel(QStringLiteral("TCP Port :"), this);  // 103
  port_label->setObjectName("id103");
  port_label->setGeometry(Dlu(13, 41, 37, 13));

  start_time_ = new QLabel(this);  // 104
  start_time_->setObjectName("id104");
  start_time_->setGeometry(Dlu(96, 41, 74, 13));

  ip_label_ = new QLabel(this);  // 105
  ip_label_->setObjectName("id105");
  ip_label_->setGeometry(Dlu(50, 56, 78, 12));

  blocking_ = new QLabel(this);  // 106
  blocking_->setObjectName("id106");
  blocking_->setGeometry(Dlu(2, 78, 198, 22));
  blocking_->setWordWrap(true);
  blocking_->setStyleSheet(QStringLiteral("color: #c00000; font-weight: bold;"));

  port_ = new QLineEdit(this);  // 107
  port_->setObjectName("id107");
  port_->setGeometry(Dlu(50, 41, 40, 13));
  port_->setReadOnly(true);
  port_->setMaxLength(5);

  auto* setting = new QPushButton(QStringLiteral("&Setting"), this);  // 108
  setting->setObjectName("id108");
  setting->setGeometry(Dlu(2, 268, 243, 20));
  setting->setAutoDefault(false);
  connect(setting, &QPushButton::clicked, this, &WINSTARTING::BUTTONSETTING);

  auto* hide = new QPushButton(QStringLiteral("&Tutup"), this);  // 109
  hide->setObjectName("id109");
  hide->setGeometry(Dlu(248, 268, 242, 20));
  hide->setAutoDefault(false);
  connect(hide, &QPushButton::clicked, this, &WINSTARTING::HideToTray);

  scans_ = new ActivityList(kScanListLines, this);  // 110
  scans_->setObjectName("id110");
  scans_->setGeometry(Dlu(202, 2, 288, 263));

  connections_ = new ActivityList(kConnectionListLines, this);  // 111
  connections_->setObjectName("id111");
  connections_->setGeometry(Dlu(2, 103, 198, 162));

  setFixedSize(Dlu(0, 0, 492, 290).size());
  setWindowIcon(AppIcon());
  setWindowTitle(kTitle);
}

void WINSTARTING::PostInit() {
  // The server opened the tables at its start; it opens them again while they are not open.
  database_timer_.setInterval(1000);  // the retry keeps its own, longer period
  connect(&database_timer_, &QTimer::timeout, this, &WINSTARTING::RetryDatabase);
  database_timer_.start();
  state_ = 3;
  title_->setText(kTitle);
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  start_time_->setText(Latin1(StartTimeText(local)));
  // 6. From now on the log lines reach the lists.
  sink_.Register(this);
  // 7. The port in force (a --port of this run, which the settings dialog does not show).
  port_->setText(QString::number(server_.Port()));
  if (const auto location = globals_.Overrides().location) {
    ADDCONNECTEDINFO("Data (this run only): " + *location);
  }
  ip_ = Latin1(LocalIpAddress());
  // 8. The tray icon appears with the first probe's verdict.
  Probe([this] { REFRESHPACKAGE(true); });
  setWindowIcon(AppIcon());
  TIMERSTART();
}

void WINSTARTING::ADDCONNECTEDINFO(std::string_view text) { connections_->Add(text); }
void WINSTARTING::ADDSCANINFO(std::string_view text) { scans_->Add(text); }
void WINSTARTING::SHOWERROR(const QString& text) { blocking_->setText(text); }

void WINSTARTING::STARTSERVER() { Probe({}); }

void WINSTARTING::Probe(std::function<void()> then) {
  if (probe_running_) return;
  if (probe_thread_.joinable()) probe_thread_.join();  // ended: its event has arrived
  probe_running_ = true;
  probe_thread_ = std::thread([this, then = std::move(then)] {
    server_.StartServer();
    // `this` outlives the thread (the destructor joins it); a queued call dies with its receiver.
    QMetaObject::invokeMethod(
        this,
        [this, then] {
          probe_running_ = false;
          ++probes_answered_;
          if (then) then();
        },
        Qt::QueuedConnection);
  });
}

void WINSTARTING::SERVERCHECK() {
  if (!server_.SelfTestPassed()) {
    Probe([this] { REFRESHFIREWALLSTATEEX(); });
  } else if (state_ > 1) {
    REFRESHPACKAGE();
    REFRESHFIREWALLSTATE();
  }
}

QString WINSTARTING::RETURNTEXTFIREWALL() const {
  return Latin1(FirewallText(server_.ProbeSent(), server_.Listening(), server_.SelfTestPassed(),
                             server_.Port()));
}

void WINSTARTING::REFRESHFIREWALLSTATE() { SHOWERROR(StatusText()); }

QString WINSTARTING::StatusText() const {
  if (!server_.DatabaseOpen()) {
    return Latin1(std::string(data::msg::kDatabaseNotOpen) + " Terminal ditolak; dicoba lagi tiap " +
                  std::to_string(data::DatabaseRetry::kPeriod.count()) + " detik.");
  }
  return RETURNTEXTFIREWALL();
}

void WINSTARTING::RetryDatabase() {
  const bool opened = server_.RetryDatabase();
  if (opened) REFRESHPACKAGE();
  if (blocking_->text() != StatusText()) SHOWERROR(StatusText());
}

void WINSTARTING::REFRESHFIREWALLSTATEEX() {
  if (server_.SelfTestPassed()) return;
  const QString text = RETURNTEXTFIREWALL();
  state_ = 3;
  // The blocking text also goes into the label, so the window says what the balloon says.
  SHOWERROR(text);
  const std::string suffix = BlockingSuffix(text.toStdString());
  SetTrayIcon(false, true, Latin1(TrayTipText(ip_.toStdString(), server_.Port(), suffix)));
  ShowBalloon(StateIcon3(), kTitle, Latin1(BlockedBalloonText(text.toStdString())));
}

void WINSTARTING::REFRESHPACKAGE(bool add) {
  const QString text = RETURNTEXTFIREWALL();
  const std::string suffix = BlockingSuffix(text.toStdString());
  const bool attention = !text.isEmpty();
  state_ = attention ? 3 : 1;
  const uint16_t port = server_.Port();
  const std::string ip = ip_.toStdString();
  setWindowTitle(Latin1(CaptionText(ip, port)));
  ip_label_->setText(QStringLiteral("IP: ") + ip_);
  SetTrayIcon(add, attention, Latin1(TrayTipText(ip, port, suffix)));
  ShowBalloon(attention ? StateIcon3() : AppIcon(), kTitle, Latin1(BalloonText(ip, port, suffix)));
}

void WINSTARTING::TIMERSTART() { timer_.start(); }
void WINSTARTING::TIMERSTOP() { timer_.stop(); }

void WINSTARTING::SetTrayIcon(bool add, bool attention, const QString& tip) {
  tray_tip_ = tip;
  tray_attention_ = attention;
  if (add && tray_ == nullptr) {
    tray_ = new QSystemTrayIcon(this);
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
      if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) TRAYICONCLICKED();
    });
  }
  if (tray_ == nullptr) return;
  tray_->setIcon(attention ? StateIcon3() : AppIcon());
  tray_->setToolTip(tip);
  if (tray_available_ && !tray_->isVisible()) {
    tray_->show();
    // A balloon asked for in the same turn as the icon appears is lost by some trays.
    balloon_delay_ = true;
  }
}

void WINSTARTING::RemoveTrayIcon() {
  if (tray_ != nullptr) tray_->hide();
}

void WINSTARTING::ShowBalloon(const QIcon& icon, const QString& title, const QString& text) {
  balloon_title_ = title;
  balloon_text_ = text;
  ++balloon_count_;
  if (tray_ == nullptr || !tray_available_) return;
  if (balloon_delay_) {
    balloon_delay_ = false;
    QTimer::singleShot(kBalloonDelay, tray_, [tray = tray_, icon, title, text] { tray->showMessage(title, text, icon); });
    return;
  }
  tray_->showMessage(title, text, icon);
}

void WINSTARTING::TRAYICONCLICKED() {
  showNormal();
  raise();
  activateWindow();
}

void WINSTARTING::HideToTray() {
  if (tray_available_) {
    hide();
  } else {
    showMinimized();  // nothing could bring a hidden window back
  }
}

void WINSTARTING::reject() { HideToTray(); }

void WINSTARTING::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange && tray_available_ && isMinimized()) {
    // Minimizing hides to the tray; the next show comes back in the normal state.
    setWindowState(windowState() & ~Qt::WindowMinimized);
    QMetaObject::invokeMethod(this, &QWidget::hide, Qt::QueuedConnection);
  }
}

void WINSTARTING::closeEvent(QCloseEvent* event) {
  if (session_ending_ || closing_) {
    TIMERSTOP();
    RemoveTrayIcon();
    event->accept();
    return;
  }
  if (!exit_requested_) {
    event->ignore();
    HideToTray();
    return;
  }
  exit_requested_ = false;
  if (!options_.prompts.confirm(this, Latin1(kExitQuestion))) {
    event->ignore();
    return;
  }
  closing_ = true;
  TIMERSTOP();
  RemoveTrayIcon();
  event->accept();
  options_.quit();
}

void WINSTARTING::BUTTONTUTUP() {
  exit_requested_ = true;
  close();
  exit_requested_ = false;
}

void WINSTARTING::BUTTONSETTING() {
  WINSETTING dialog(options_.workdir, globals_, sink_, options_.prompts, this);
  const int result = dialog.exec();
  if (result == WINSETTING::kCloseApplication) BUTTONTUTUP();
}

void WINSTARTING::OpenTestWindow() {
  if (test_window_ == nullptr) {
    test_window_ = new WINTESTRESULT(globals_, sink_, this);
    test_window_->setAttribute(Qt::WA_DeleteOnClose);
  }
  test_window_->show();
  test_window_->raise();
  test_window_->activateWindow();
}

WINTESTRESULT* WINSTARTING::testWindow() const { return test_window_.data(); }

bool WINSTARTING::eventFilter(QObject* watched, QEvent* event) {
  if (watched == title_ && event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    OpenTestWindow();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace kt::ui
