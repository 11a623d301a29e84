// The report of one port's run: its result as the JSON object --json prints
// (alone, or as a member of the array of several ports), or as the lines on
// standard output and the failure on standard error.
#ifndef TAKT_CLI_PORT_REPORT_H_
#define TAKT_CLI_PORT_REPORT_H_

#include <ostream>
#include <string>

#include "cli/cli_args.h"
#include "cli/json_text.h"
#include "cli/port_result.h"

namespace taktm {

// Box texts break lines with LF CR; one line reads better on a terminal.
std::string OneLine(std::string text);

// The whole object: the facts, the serial number, the duration (`in_gang`),
// the status, the message, the warnings and the time to the first frame.
JsonObject PortJson(const PortResult& result, bool in_gang);

// A run alone on the command line: the JSON object, or the result lines on
// `out` and a failure on `err` (nothing with --quiet but the failure).
void PrintPortResult(const PortResult& result, const CliOptions& options,
                     std::ostream& out, std::ostream& err);

}  // namespace taktm

#endif  // TAKT_CLI_PORT_REPORT_H_
