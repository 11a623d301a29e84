#include "session/port_session.h"

namespace taktm {

void OpenPortWithLines(TComm32& comm) {
  comm.OpenPort();
  comm.SetLineSignal(kSetRts);
  comm.SetLineSignal(kClearDtr);
}

PortSession::PortSession(AppCore& core, std::unique_ptr<TComm32> comm)
    : core_(core), comm_(comm ? std::move(comm) : std::make_unique<TComm32>()) {
  watchdog_.setInterval(kWatchdogIntervalMs);
  // A coarse timer may fire up to 5 % early, which took a device idling at
  // 4,750 ms or more, inside what it may do, as lost.
  watchdog_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&watchdog_, &QTimer::timeout, &watchdog_, [this] {
    Tick();
    if (on_event) on_event();
  });
  comm_->SetFlowControl(fcNone);
  comm_->OnReceiveData = [this](const uint8_t* bytes, uint16_t count) {
    if (on_receive) on_receive(bytes, count);
    // A box opened from inside the parser may run a nested event loop that
    // delivers the next chunk: the flag is restored, not cleared.
    const bool outer = receiving_;
    receiving_ = true;
    core_.parser().Comm321ReceiveData(bytes, count);
    receiving_ = outer;
    if (on_event) on_event();
  };
  comm_->OnError = [this](uint32_t code) {
    port_errors_.push_back(code);
    if (on_event) on_event();
  };
}

void PortSession::Open() {
  watchdog_.start();
  OpenPortWithLines(*comm_);
}

void PortSession::RestartWatchdog() {
  watchdog_.stop();
  watchdog_.start();
}

void PortSession::Tick() {
  ++watchdog_firings_;
  core_.programmer().DeviceLost();
  if (reopen_on_tick_) ReopenIfLost();
}

// A port that failed (adapter pulled out, pty closed) or could not be
// opened at start-up is tried again on every tick, quietly: the start-up
// error was shown once. Once open, the SVC_GET_NAME just queued by the loss
// steps starts the discovery at the device's first acknowledgement.
void PortSession::ReopenIfLost() {
  if (!comm_->NeedsOpening()) return;
  try {
    OpenPortWithLines(*comm_);
  } catch (const ECommsError&) {
  }
}

}  // namespace taktm
