// WINSTARTING: the server's main window. Two activity lists (connections, scans), the port, the
// start time and address, the blocking text of the self-test, a tray icon with tip and balloon,
// and the ten-second SERVERCHECK. It is created hidden and lives in the tray: "&Tutup" and
// minimizing hide it, a click on the tray icon shows it again, and it closes only through the
// confirmed application exit (or the end of the desktop session). Without a tray (a plain X
// server) it minimizes instead of hiding, so it always stays reachable.
//
// Controls carry the dialog's ids as object names ("id100" ... "id111").
//
// The loopback probe (STARTSERVER) waits for its verdict, up to a second while the port is
// blocked, so it runs on a thread of its own; its end comes back to the window as an event,
// which refreshes the tray (PostInit) or the blocking state (SERVERCHECK). A tick while a probe
// is still under way starts no second one.
//
// Thread safety: a window-thread object, except ADDCONNECTEDINFO and ADDSCANINFO, which any
// thread may call (they never block; see activity_list.h).
#pragma once

#include <QDialog>
#include <QIcon>
#include <QPointer>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <filesystem>
#include <optional>
#include <string_view>
#include <thread>

#include "server/ui/prompts.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QSystemTrayIcon;

namespace kt::data {
class GLOBALVARIABLE;
}

namespace kt::ui {

class ActivityList;
class ServerControl;
class WindowSink;
class WINTESTRESULT;

class WINSTARTING : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kConnectionListLines = 51;
  static constexpr int kScanListLines = 101;
  static constexpr std::chrono::milliseconds kCheckPeriod{10000};
  static constexpr std::chrono::milliseconds kBalloonDelay{500};

  struct Options {
    std::filesystem::path workdir;  // holds the settings table
    Prompts prompts;
    // Whether a tray is there; unset: ask the desktop.
    std::optional<bool> tray_available;
    // Ends the program after the confirmed exit; unset: QCoreApplication::exit(0).
    std::function<void()> quit;
  };

  // `server`, `globals` and `sink` must outlive the window.
  WINSTARTING(ServerControl& server, data::GLOBALVARIABLE& globals, WindowSink& sink, Options options,
              QWidget* parent = nullptr);
  ~WINSTARTING() override;

  // Runs once after construction: fills the labels, registers with the sink, starts the server,
  // adds the tray icon and starts the timers (SERVERCHECK, the database retry).
  void PostInit();

  void ADDCONNECTEDINFO(std::string_view text);
  void ADDSCANINFO(std::string_view text);
  void SHOWERROR(const QString& text);

  void STARTSERVER();
  void SERVERCHECK();
  void REFRESHPACKAGE(bool add = false);
  void REFRESHFIREWALLSTATE();
  void REFRESHFIREWALLSTATEEX();
  QString RETURNTEXTFIREWALL() const;
  void TIMERSTART();
  void TIMERSTOP();

  void BUTTONSETTING();
  // The application exit: asks "Exit/Keluar ..." and ends the program on yes.
  void BUTTONTUTUP();
  void TRAYICONCLICKED();
  void OpenTestWindow();

  // ---- What the window shows, for tests and screenshots ----
  int state() const { return state_; }
  bool trayAvailable() const { return tray_available_; }
  QString trayToolTip() const { return tray_tip_; }
  bool trayIconIsAttention() const { return tray_attention_; }
  QString lastBalloonTitle() const { return balloon_title_; }
  QString lastBalloonText() const { return balloon_text_; }
  int balloonCount() const { return balloon_count_; }
  ActivityList* connectionList() const { return connections_; }
  ActivityList* scanList() const { return scans_; }
  const QTimer& checkTimer() const { return timer_; }
  // Probes whose end has reached the window, and whether one is under way.
  int probesAnswered() const { return probes_answered_; }
  bool probeRunning() const { return probe_running_; }
  WINTESTRESULT* testWindow() const;

 protected:
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override;  // Escape: hide like "&Tutup", never close
  bool eventFilter(QObject* watched, QEvent* event) override;  // clicks on the name label

 private:
  void BuildControls();
  void RetryDatabase();
  // The status label's text: the database that is not open first, then the blocking text.
  QString StatusText() const;
  void HideToTray();
  void ShowBalloon(const QIcon& icon, const QString& title, const QString& text);
  void SetTrayIcon(bool add, bool attention, const QString& tip);
  void RemoveTrayIcon();
  // Runs the probe off the window thread; `then` runs on the window thread once it has ended.
  void Probe(std::function<void()> then);

  ServerControl& server_;
  data::GLOBALVARIABLE& globals_;
  WindowSink& sink_;
  Options options_;
  bool tray_available_ = false;

  int state_ = 3;
  bool exit_requested_ = false;
  bool session_ending_ = false;
  bool closing_ = false;
  QString ip_;

  QLabel* title_ = nullptr;        // 102
  QLabel* start_time_ = nullptr;   // 104
  QLabel* ip_label_ = nullptr;     // 105
  QLabel* blocking_ = nullptr;     // 106
  QLineEdit* port_ = nullptr;      // 107
  ActivityList* scans_ = nullptr;        // 110
  ActivityList* connections_ = nullptr;  // 111
  QSystemTrayIcon* tray_ = nullptr;
  QTimer timer_;
  // Drives the server's database retry: a database that did not open at start (a data folder
  // that appears later) is opened by the server; the status label says so meanwhile.
  QTimer database_timer_;
  QPointer<WINTESTRESULT> test_window_;

  QString tray_tip_;
  bool tray_attention_ = true;
  QString balloon_title_;
  QString balloon_text_;
  int balloon_count_ = 0;
  bool balloon_delay_ = false;  // the tray icon has just appeared

  std::thread probe_thread_;     // joined before the next probe and by the destructor
  bool probe_running_ = false;   // window thread only
  int probes_answered_ = 0;
};

}  // namespace kt::ui
