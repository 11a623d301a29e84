// One run of takt-m-cli: reads the stored settings, opens the port, lets the
// core discover the device, selects the chip and drives the operation through
// the same handlers the window uses, waits with the event loop running, and
// reports the result as text or JSON with its exit status.
#ifndef TAKT_CLI_CLI_RUNNER_H_
#define TAKT_CLI_CLI_RUNNER_H_

#include <QElapsedTimer>
#include <ostream>

#include "cli/cli_args.h"
#include "cli/run_verdict.h"

namespace taktm {

struct CliStreams {
  std::ostream& out;     // results
  std::ostream& err;     // messages and progress
  bool err_is_terminal;  // progress as a bar redrawn in place
};

// `clock` runs since the process started; the time to the first frame sent
// is measured from it.
ExitStatus RunCli(const CliOptions& options, const CliStreams& streams,
                  const QElapsedTimer& clock);

}  // namespace taktm

#endif  // TAKT_CLI_CLI_RUNNER_H_
