#include "cli/cli_host.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>

#include "config/parity.h"

namespace taktm {

CliHost::CliHost(const OptionsModel& options) : options_(options) {
  session_.on_event = [this] {
    if (on_event) on_event();
  };
  session_.on_receive = [this](const uint8_t* bytes, uint16_t count) {
    if (on_wire) on_wire(false, bytes, count);
  };
}

void CliHost::Open(const PortSettings& settings) {
  TComm32& comm = session_.comm();
  comm.SetCommPort(settings.port);
  comm.SetBaudRate(settings.baud);
  if (const auto code = ParityCodeForIndex(settings.parity_index)) {
    comm.SetParity(static_cast<TParity>(*code));
  }
  session_.Open();
}

bool CliHost::RunUntil(const std::function<bool()>& done, int64_t ms) {
  const QDeadlineTimer deadline(ms);
  // Ends the last wait at the deadline. A coarse timer may fire a little
  // early, and a single shot would then leave the wait to the next event
  // (the watchdog, seconds later): precise, and repeating.
  QTimer wake;
  wake.setTimerType(Qt::PreciseTimer);
  wake.start(static_cast<int>(std::min<int64_t>(ms, INT32_MAX)));
  const int firings = watchdog_firings();
  while (!done()) {
    if (deadline.hasExpired() || watchdog_firings() != firings ||
        port_failed()) {
      return false;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents |
                                    QEventLoop::WaitForMoreEvents);
  }
  return true;
}

bool CliHost::WriteData(const uint8_t* bytes, uint16_t count) {
  if (first_write_ms_ < 0 && since_ != nullptr) {
    first_write_ms_ = since_->elapsed();
  }
  if (on_wire) on_wire(true, bytes, count);
  return session_.comm().WriteData(bytes, count);
}

void CliHost::Changed(Aspect aspect) {
  if (aspect == Aspect::kOutcome) {
    outcomes_.push_back(core().programmer().outcome());
  }
}

void CliHost::ProgressChanged() {
  if (on_progress) {
    const ProgressModel& p = core_.queue().progress();
    on_progress(p.maximum, p.position);
  }
}

}  // namespace taktm
