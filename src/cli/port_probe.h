// The programmer found by itself: every candidate port opened at once with
// the run's line settings, the discovery's first command sent on the
// device's acknowledgements, and the ports that answered with a name within
// the deadline reported.
#ifndef TAKT_CLI_PORT_PROBE_H_
#define TAKT_CLI_PORT_PROBE_H_

#include <string>
#include <vector>

#include "cli/cli_host.h"
#include "cli/port_choice.h"

namespace taktm {

// The ports `pattern` matches (every port when it is empty): those the
// system lists, and on POSIX systems also the names the pattern finds in
// the file system (links and pseudo-terminals the system does not list).
std::vector<std::string> ProbeCandidates(const std::string& pattern);

// Probes `ports` concurrently, `deadline_ms` in all; one answer per port,
// in order. A port that cannot be opened answers nothing.
std::vector<ProbeAnswer> ProbePorts(const std::vector<std::string>& ports,
                                    const PortSettings& line, int deadline_ms);

// The port that `value` (a --port word) names: a name is itself; "auto",
// "auto:PATTERN" and "usb-serial:XXXX" are looked up.
PortChoice ResolvePort(const std::string& value, const PortSettings& line,
                       int deadline_ms);

// Every port of the command line resolved in place; the first refusal, or a
// port named twice once resolved (a usage error).
PortChoice ResolvePorts(std::vector<std::string>& ports,
                        const PortSettings& line, int deadline_ms);

}  // namespace taktm

#endif  // TAKT_CLI_PORT_PROBE_H_
