// What the main window asks of the running server: start the listener, send the loopback probe,
// open a database that was missing again, and read the server's state (self-test flags, port,
// database open). The window mode plugs in the start-up core, which owns all of it; the window
// itself never touches sockets or tables.
//
// Thread safety: StartServer runs on the window's probe thread, one call at a time (it may wait
// up to about a second for the verdict); the rest are called from the window thread. The flags
// they read are set by the listener's threads.
#pragma once

#include <cstdint>

namespace kt::ui {

class ServerControl {
 public:
  virtual ~ServerControl() = default;

  // STARTSERVER: when the listener is not listening, starts it and waits until it listens or
  // has given up (a failed bind never hangs the caller); then sends one loopback probe with the
  // self-test text and waits briefly for its verdict.
  virtual void StartServer() = 0;

  // True while the listener listens. A listener whose bind failed counts as none: the window
  // then names the port as taken by another program.
  virtual bool Listening() const = 0;
  virtual bool ProbeSent() const = 0;
  virtual bool SelfTestPassed() const = 0;

  // The configured port (WCONFIGPORT).
  virtual uint16_t Port() const = 0;

  // The periodic database retry (the window's timer calls it every second; the server keeps its
  // own, longer period). True when this call opened the database.
  virtual bool RetryDatabase() = 0;
  virtual bool DatabaseOpen() const = 0;
};

}  // namespace kt::ui
