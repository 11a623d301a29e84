// Stop requests on systems without POSIX signal handling (Windows): the
// C library's SIGINT and SIGTERM set a flag that a timer in the event loop
// looks at. A console's close is not seen here.
#include <QTimer>
#include <csignal>

#include "cli/stop_signals.h"

namespace taktm {
namespace {

volatile std::sig_atomic_t g_received = 0;

void OnSignal(int signal) { g_received = signal; }

}  // namespace

struct StopSignals::Impl {
  std::function<void(int)> on_stop;
  QTimer poll;
  int handled = 0;
};

StopSignals::StopSignals(std::function<void(int signal)> on_stop)
    : impl_(std::make_unique<Impl>()) {
  impl_->on_stop = std::move(on_stop);
  g_received = 0;
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  impl_->poll.setInterval(50);
  QObject::connect(&impl_->poll, &QTimer::timeout, [impl = impl_.get()] {
    const int signal = g_received;
    if (signal == 0 || signal == impl->handled) return;
    impl->handled = signal;
    if (impl->on_stop) impl->on_stop(signal);
  });
  impl_->poll.start();
}

StopSignals::~StopSignals() {
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
}

int StopSignals::received() const { return g_received; }

ExitStatus StopStatus(int signal) {
  return static_cast<ExitStatus>(128 + signal);
}

const char* StopSignalName(int signal) {
  return signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "signal";
}

}  // namespace taktm
