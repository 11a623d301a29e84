// POSIX signals into the Qt event loop through a pipe: the handler only
// writes the signal's number into it, which is safe in a handler; a socket
// notifier reads it in the loop.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

#include "cli/stop_signals.h"

namespace taktm {
namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

int g_pipe[2] = {-1, -1};
volatile sig_atomic_t g_received = 0;

void OnSignal(int signal) {
  const int saved = errno;
  g_received = signal;
  const unsigned char number = static_cast<unsigned char>(signal);
  [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &number, 1);
  errno = saved;
}

}  // namespace

struct StopSignals::Impl {
  std::function<void(int)> on_stop;
  std::unique_ptr<QSocketNotifier> notifier;
  struct sigaction old[std::size(kStopSignals)] = {};
  bool installed[std::size(kStopSignals)] = {};
};

StopSignals::StopSignals(std::function<void(int signal)> on_stop)
    : impl_(std::make_unique<Impl>()) {
  impl_->on_stop = std::move(on_stop);
  g_received = 0;
  // A file size limit makes a write fail with EFBIG, which every writer
  // reports; the signal would end the program without a word.
  ::signal(SIGXFSZ, SIG_IGN);
  if (::pipe2(g_pipe, O_NONBLOCK | O_CLOEXEC) != 0) return;
  impl_->notifier =
      std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
  QObject::connect(impl_->notifier.get(), &QSocketNotifier::activated,
                   [impl = impl_.get()] {
                     unsigned char number;
                     while (::read(g_pipe[0], &number, 1) == 1) {
                       if (impl->on_stop) impl->on_stop(number);
                     }
                   });
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  // The first request ends the runs cleanly; a second one, should that
  // take too long, ends the process.
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  for (size_t i = 0; i < std::size(kStopSignals); ++i) {
    struct sigaction old {};
    if (::sigaction(kStopSignals[i], nullptr, &old) != 0 ||
        old.sa_handler == SIG_IGN) {
      continue;
    }
    impl_->installed[i] =
        ::sigaction(kStopSignals[i], &action, &impl_->old[i]) == 0;
  }
}

StopSignals::~StopSignals() {
  for (size_t i = 0; i < std::size(kStopSignals); ++i) {
    if (impl_->installed[i]) {
      ::sigaction(kStopSignals[i], &impl_->old[i], nullptr);
    }
  }
  impl_->notifier.reset();
  for (int& fd : g_pipe) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

int StopSignals::received() const { return g_received; }

ExitStatus StopStatus(int signal) {
  return static_cast<ExitStatus>(128 + signal);
}

const char* StopSignalName(int signal) {
  switch (signal) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
    default:
      return "signal";
  }
}

}  // namespace taktm
