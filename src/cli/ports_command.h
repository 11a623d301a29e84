// `takt-m-cli ports`: the serial ports of the machine, and with --probe the
// programmer that answers on each. Needs no port and no device: it lists
// what --port may name.
#ifndef TAKT_CLI_PORTS_COMMAND_H_
#define TAKT_CLI_PORTS_COMMAND_H_

#include "cli/cli_args.h"
#include "cli/cli_streams.h"
#include "cli/port_result.h"
#include "cli/stored_settings.h"

namespace taktm {

// The listing as a result, for the report (port_report.h).
PortResult ListPorts(const CliOptions& options, const StoredSettings& settings,
                     const CliStreams& streams);

// Lists and prints; the exit status.
ExitStatus RunPortsCommand(const CliOptions& options,
                           const StoredSettings& settings,
                           const CliStreams& streams);

}  // namespace taktm

#endif  // TAKT_CLI_PORTS_COMMAND_H_
