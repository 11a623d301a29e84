// What takt-m-cli prints when it runs on several ports at once: one line per
// port as it finishes, a summary, and the exit status of the whole run.
#ifndef TAKT_CLI_GANG_REPORT_H_
#define TAKT_CLI_GANG_REPORT_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/run_verdict.h"

namespace taktm {

struct PortResult {
  std::string port;
  std::string chip;  // empty when no chip was selected
  ExitStatus status = ExitStatus::kOk;
  std::string message;  // the result line, or why the port failed
  uint64_t bytes_done = 0;
  uint64_t bytes_total = 0;
  int64_t ms = 0;                  // the port's whole run
  std::optional<uint64_t> serial;  // the number taken for the chip
  std::string serial_text;         // its text, with a text template
};

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

}  // namespace taktm

#endif  // TAKT_CLI_GANG_REPORT_H_
