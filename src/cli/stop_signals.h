// The requests to stop that a running takt-m-cli honours (Ctrl-C, SIGTERM,
// SIGHUP on POSIX systems): each is handed to the event loop, so the runs in
// progress end there cleanly (queue stopped, the log line written) instead
// of the process dying between a number taken and its record. The second
// request of a kind ends the process the system's way. The system's part
// lives in stop_signals_<system>.cpp.
#ifndef TAKT_CLI_STOP_SIGNALS_H_
#define TAKT_CLI_STOP_SIGNALS_H_

#include <functional>
#include <memory>

#include "cli/run_verdict.h"

namespace taktm {

class StopSignals {
 public:
  // `on_stop` runs in the event loop with the signal's number. A signal
  // the program was started with ignored (nohup) stays ignored. One at a
  // time.
  explicit StopSignals(std::function<void(int signal)> on_stop);
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // The last signal received, 0 while none: also one that came when no
  // event loop ran.
  int received() const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// The status of a run a signal stopped: 128 and the signal's number.
ExitStatus StopStatus(int signal);
// "SIGTERM", for the log.
const char* StopSignalName(int signal);

}  // namespace taktm

#endif  // TAKT_CLI_STOP_SIGNALS_H_
