// One TCP terminal connection to a KX25 that runs as TCP server: connect (5000 ms limit), the
// greeting, the receive rules and demonstration screens of terminal_log.h and demo_screens.h, the
// typing rules of key_input.h, and the reachability monitor while connected.
//
// Connect() returns at once; the connection lives on the session's own thread, which reads (at
// most 1024 bytes at a time), answers barcodes when "respond to barcodes" is on, and reports
// through the observer. A failed connect leaves the session disconnected with a line in the log
// saying why (the window stays open). A prepared stream (greeting, screen) is tried up to 5 times
// before the session gives up and disconnects; a typed or pasted send that fails disconnects at
// once. Every disconnect, whatever its cause, logs "<<<Connection Terminated>>>".
//
// Thread safety: the public methods may be called from any thread. Observer calls come from the
// session's thread or from the thread that called a method, one at a time (never concurrently);
// an observer must not destroy the session, and should only post to its own thread (a window) or
// print (kx25ctl).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "common/net/socket_handle.h"
#include "tool/terminal/demo_screens.h"
#include "tool/terminal/key_input.h"
#include "tool/terminal/reachability_monitor.h"
#include "tool/terminal/terminal_log.h"

namespace kt::terminal {

struct TerminalTarget {
  std::string ip;          // dotted IPv4 text
  uint16_t port = 0;       // the terminal's TCP port (byte 282 of its record)
  int codepage_index = 1;  // the terminal's code page (UTF-8 when 9)
};

struct SessionOptions {
  std::chrono::milliseconds connect_limit{5000};
  // Echo checks for the reachability monitor; empty: no monitor.
  EchoCheckFactory echo_checks = IcmpEchoCheckFactory();
  MonitorTiming monitor_timing;
  // The demonstration screens' random source; empty: the system's random device.
  DemoScreenChooser::RandomSource random;
  int send_attempts = 5;
  std::chrono::milliseconds send_wait{1000};    // per attempt: room in the send buffer
  std::chrono::milliseconds retry_pause{100};
};

class SessionObserver {
 public:
  virtual ~SessionObserver() = default;
  virtual void OnLog(const LogPiece& piece) = 0;
  // The bytes of a send that went out whole (a prepared stream, a typed byte, a paste): what the
  // terminal's display now interprets.
  virtual void OnSent(std::string_view /*bytes*/) {}
  virtual void OnConnected() {}
  virtual void OnDisconnected() {}
  // The terminal stopped answering echo requests: the window should close.
  virtual void OnCloseRequested() {}
};

class TerminalSession {
 public:
  TerminalSession(TerminalTarget target, SessionObserver& observer, SessionOptions options = {});
  ~TerminalSession();
  TerminalSession(const TerminalSession&) = delete;
  TerminalSession& operator=(const TerminalSession&) = delete;

  // Starts connecting to the target (a new target may be given while disconnected). Ignored
  // while connecting or connected.
  void Connect();
  void Connect(const TerminalTarget& target);
  void Disconnect();
  bool connected() const { return connected_.load(); }
  // True from Connect() until the session is disconnected again.
  bool active() const { return active_.load(); }

  void SetRespondToBarcodes(bool on) { respond_.store(on); }
  void SetHexInput(bool on) { hex_.store(on); }

  void TypeKey(char32_t c);
  void TypeEscape();
  void Paste(std::string_view utf8);

  // Waits until the session's thread has ended (after a disconnect); for kx25ctl and tests.
  void WaitUntilDisconnected();

 private:
  void Run(TerminalTarget target);
  void Emit(LogKind kind, std::string text);
  void EmitSent(std::string_view bytes);
  // Sends the typed or pasted bytes; a failure disconnects.
  void SendTyped(const KeyOutcome& k);
  // Up to send_attempts tries; false when all failed (the caller disconnects).
  bool SendPrepared(const std::string& stream);
  void ShutdownSocket();
  void JoinThread();

  SessionObserver& observer_;
  const SessionOptions options_;

  std::atomic<bool> connected_{false};
  std::atomic<bool> active_{false};
  std::atomic<bool> stop_{false};             // polled by the session's thread between reads
  std::atomic<bool> close_requested_{false};  // set by the monitor's thread
  std::atomic<bool> respond_{false};
  std::atomic<bool> hex_{false};

  std::mutex emit_mutex_;  // one observer call at a time

  std::mutex mutex_;
  // State below is protected by mutex_.
  TerminalTarget target_;
  net::SocketHandle socket_;  // valid while connected
  KeyInput keys_;
  std::thread thread_;
};

}  // namespace kt::terminal
