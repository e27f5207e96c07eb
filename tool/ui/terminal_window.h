// "Corvane TCP Terminal : IP": a raw TCP connection to a terminal that runs as TCP server. The log
// shows what the terminal sends (light blue), the streams the tool sends (red) and the echo of
// what the user types (white) on a dark background; beside it, the display emulator's picture of
// what the terminal's screen shows now, updated as bytes go out.
//
// The connection, the typing rules, the demonstration screens and the reachability monitor are
// terminal::TerminalSession's; its reports arrive on the session's thread and are queued to the
// window's. The window is modeless and stays on top; hiding it keeps the connection.
#pragma once

#include <QPointer>
#include <QTextEdit>
#include <QWidget>

#include <memory>

#include "common/display/emulator.h"
#include "tool/terminal/terminal_session.h"

class QAbstractButton;
class QCheckBox;
class QLineEdit;
class QSpinBox;

namespace kt::ui {

inline constexpr const char* kConnectTip = "Connect to the KX25...";
inline constexpr const char* kDisconnectTip = "Disconnect from the Corvane...";

// The log field: keys typed into it go to the session instead of the text.
class TerminalLogView : public QTextEdit {
  Q_OBJECT
 public:
  // Characters kept; within 500 of it the first half is removed.
  static constexpr int kLimit = 32000;
  explicit TerminalLogView(QWidget* parent = nullptr);
  void Append(terminal::LogKind kind, const QString& text);
  void set_session(terminal::TerminalSession* s) { session_ = s; }

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  void insertFromMimeData(const QMimeData* source) override;

 private:
  terminal::TerminalSession* session_ = nullptr;
};

// The terminal's display as the emulator sees it: 20 x 8 characters, large-font rows drawn large.
class DisplayView : public QWidget {
  Q_OBJECT
 public:
  explicit DisplayView(const display::DisplayEmulator& emulator, QWidget* parent = nullptr);
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  const display::DisplayEmulator& emulator_;
};

class TerminalWindow : public QWidget, public terminal::SessionObserver {
  Q_OBJECT
 public:
  TerminalWindow(const terminal::TerminalTarget& target, terminal::SessionOptions options, QWidget* parent = nullptr);
  ~TerminalWindow() override;

  void Connect();
  void Disconnect();
  bool connected() const { return session_->connected(); }

  QLineEdit* ip_field() const { return ip_; }
  QSpinBox* port_field() const { return port_; }
  QCheckBox* hex_box() const { return hex_; }
  QCheckBox* respond_box() const { return respond_; }
  QAbstractButton* connect_button() const { return connect_; }
  QAbstractButton* hide_button() const { return hide_; }
  TerminalLogView* log() const { return log_; }
  DisplayView* display() const { return display_; }
  const display::DisplayEmulator& emulator() const { return emulator_; }

 signals:
  void ConnectedChanged(bool connected);

 protected:
  void closeEvent(QCloseEvent* e) override;

 private:
  // SessionObserver, called on the session's thread: each is queued to the window's thread.
  void OnLog(const terminal::LogPiece& piece) override;
  void OnSent(std::string_view bytes) override;
  void OnConnected() override;
  void OnDisconnected() override;
  void OnCloseRequested() override;

  void SetConnectedFace(bool connected);

  const int codepage_;
  display::DisplayEmulator emulator_;
  QLineEdit* ip_ = nullptr;
  QSpinBox* port_ = nullptr;
  QCheckBox* hex_ = nullptr;
  QCheckBox* respond_ = nullptr;
  QAbstractButton* connect_ = nullptr;
  QAbstractButton* hide_ = nullptr;
  TerminalLogView* log_ = nullptr;
  DisplayView* display_ = nullptr;
  std::unique_ptr<terminal::TerminalSession> session_;  // last member: its thread ends first
};

}  // namespace kt::ui
