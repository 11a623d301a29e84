// What takt-m-cli prints when it runs on several ports at once: one line per
// port as it finishes, a summary, and the exit status of the whole run.
#ifndef TAKT_CLI_GANG_REPORT_H_
#define TAKT_CLI_GANG_REPORT_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/port_result.h"
#include "cli/run_verdict.h"

namespace taktm {

// The most serious status: the highest in the order of the exit statuses
// (kOk when `statuses` is empty).
ExitStatus WorstStatus(const std::vector<ExitStatus>& statuses);

// "1,5 с": tenths of a second with a comma.
std::string SecondsText(int64_t ms);

// Port, chip, status word, bytes, time, the serial number when `serials`
// (with "не использован" when the chip failed after taking it), the
// message; separated by tabs.
std::string PortResultLine(const PortResult& result, bool serials);

// "Итого: успешно 2 из 4; код выхода 4 (wrong-signature)".
std::string GangSummary(const std::vector<PortResult>& results);

// --json: the array of the ports' objects, in the order of the ports.
std::string GangJson(const std::vector<PortResult>& results);

}  // namespace taktm

#endif  // TAKT_CLI_GANG_REPORT_H_
