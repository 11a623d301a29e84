// PortSession: the serial port of one programmer wired to its core: the
// port component TComm32, the 5,000 ms link watchdog Timer2 whose tick goes
// to the programmer, every received chunk handed to the receive parser, and
// the port opened with RTS on and DTR off. The main window, the command line
// and the end-to-end host each own one; what differs between them (reopening
// a lost port, what follows an event) is set here as options and callbacks.
#ifndef TAKT_SESSION_PORT_SESSION_H_
#define TAKT_SESSION_PORT_SESSION_H_

#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "link/comm32.h"
#include "session/app_core.h"

namespace taktm {

inline constexpr int kWatchdogIntervalMs = 5000;

// Opens the port and sets its modem lines as the device expects them: RTS
// on, DTR off. Throws ECommsError, and then sets no line.
void OpenPortWithLines(TComm32& comm);

class PortSession {
 public:
  // `comm` replaces the serial port component (tests record its calls).
  explicit PortSession(AppCore& core, std::unique_ptr<TComm32> comm = nullptr);
  PortSession(const PortSession&) = delete;
  PortSession& operator=(const PortSession&) = delete;

  TComm32& comm() { return *comm_; }
  QTimer& watchdog() { return watchdog_; }

  // Starts the watchdog, then opens the port with its lines (the port's
  // name and line settings are set on comm() before). Throws ECommsError.
  void Open();
  // Stops the watchdog and starts it again (LinkHost::RestartWatchdog).
  void RestartWatchdog();
  // The watchdog's tick: the programmer's DeviceLost, then, when reopening
  // is on, a port that failed or never opened is tried again, quietly.
  void Tick();

  // Off by default: the command line and the end-to-end host end a run
  // whose port failed. The window keeps trying until it closes.
  void set_reopen_on_tick(bool reopen) { reopen_on_tick_ = reopen; }

  // A received chunk is being handled by the parser at this moment.
  bool receiving() const { return receiving_; }
  int watchdog_firings() const { return watchdog_firings_; }
  // The port's failures (TComm32::OnError codes), in order.
  const std::vector<uint32_t>& port_errors() const { return port_errors_; }
  bool port_failed() const { return !port_errors_.empty(); }

  // Called with every received chunk before the parser sees it.
  std::function<void(const uint8_t*, uint16_t)> on_receive;
  // Called after whatever may end a wait: received bytes handled, the
  // watchdog fired, the port failed.
  std::function<void()> on_event;

 private:
  void ReopenIfLost();

  AppCore& core_;
  QTimer watchdog_;
  bool reopen_on_tick_ = false;
  bool receiving_ = false;
  int watchdog_firings_ = 0;
  std::vector<uint32_t> port_errors_;
  // Last, so that it goes first: a port closing in its destructor may still
  // call the handlers above.
  std::unique_ptr<TComm32> comm_;
};

}  // namespace taktm

#endif  // TAKT_SESSION_PORT_SESSION_H_
