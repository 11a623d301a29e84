// One invocation of takt-m-cli: reads the stored settings, checks the
// serial counter and the production log before anything reaches a chip,
// then runs the command on every port given, all in one event loop, and
// reports each port and the whole run (text or JSON) with its exit status.
#ifndef TAKT_CLI_CLI_RUNNER_H_
#define TAKT_CLI_CLI_RUNNER_H_

#include <QElapsedTimer>

#include "cli/cli_args.h"
#include "cli/port_run.h"
#include "cli/run_verdict.h"

namespace taktm {

// `clock` runs since the process started; the time to the first frame sent
// is measured from it.
ExitStatus RunCli(const CliOptions& options, const CliStreams& streams,
                  const QElapsedTimer& clock);

}  // namespace taktm

#endif  // TAKT_CLI_CLI_RUNNER_H_
