// What one port's run of takt-m-cli came to: the run's steps fill it in, and
// the report (port_report.h, gang_report.h) renders it as text or JSON.
#ifndef TAKT_CLI_PORT_RESULT_H_
#define TAKT_CLI_PORT_RESULT_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/json_text.h"
#include "cli/run_verdict.h"

namespace taktm {

struct PortResult {
  std::string port;
  std::string chip;  // empty when no chip was selected
  ExitStatus status = ExitStatus::kOk;
  // One line: the result line with several ports, or why the port failed.
  std::string message;
  uint64_t bytes_done = 0;
  uint64_t bytes_total = 0;
  int64_t ms = 0;                  // the port's whole run
  std::optional<uint64_t> serial;  // the number taken for the chip
  std::string serial_text;         // its text, with a text template

  // (Initialised members: the gang's tests name the fields above alone.)
  // The failure as it was given: the message and a second line under it
  // (standard error prints them apart; JSON gives `message` only when a
  // failure message was given).
  std::string failure = {};
  std::string detail = {};
  // The result lines for standard output, in order (none after a failure).
  std::vector<std::string> lines = {};
  // What the steps found, in the order found: the JSON object's members
  // before the verdict's.
  JsonObject facts = {};
  // Warnings: the stored settings' problems, then the boxes shown.
  std::vector<std::string> warnings = {};
  int64_t first_frame_ms = -1;
};

}  // namespace taktm

#endif  // TAKT_CLI_PORT_RESULT_H_
