// Exit statuses of takt-m-cli and the verdict on a finished run, judged from
// the outcomes the programmer announced (what its status line and boxes
// showed), the watchdog and the port; never from the shown texts.
#ifndef TAKT_CLI_RUN_VERDICT_H_
#define TAKT_CLI_RUN_VERDICT_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "programming/outcome.h"

namespace taktm {

enum class ExitStatus : int {
  kOk = 0,
  kDeviceFailure = 1,  // retry limit, deadline passed, unexpected outcome
  kUsage = 2,          // command line, unknown chip, operation not allowed
  kNoDevice = 3,       // port not opened, device silent or gone
  kWrongSignature = 4,
  kVerifyMismatch = 5,
  kFileError = 6,
  // Stopped by a signal: 128 and its number, as a shell reports a program
  // the signal ended. The word is "interrupted".
  kHangup = 129,       // SIGHUP
  kInterrupted = 130,  // SIGINT (Ctrl-C)
  kTerminated = 143,   // SIGTERM
};

// The word the JSON output gives each status.
const char* ExitStatusName(ExitStatus status);

// What is known when the wait for a run ends.
struct RunState {
  bool drained = false;      // the queue emptied
  bool timed_out = false;    // the deadline passed first
  bool device_lost = false;  // the watchdog fired
  bool port_failed = false;  // the port reported an error or a hangup
  // Every outcome the programmer announced, in order; a kNone marks where
  // an operation began anew.
  std::vector<Outcome> outcomes;
  bool verify_expected = false;  // a verify run was queued
};

struct RunVerdict {
  ExitStatus status = ExitStatus::kOk;
  std::string message;                     // empty on success
  std::optional<uint32_t> verify_address;  // first chunk that did not verify
  // What the status line shows for the last operation (its outcome's text),
  // empty when it showed nothing.
  std::string shown;
};

RunVerdict JudgeRun(const RunState& state);

// The outcome the status line shows: the last one it showed since the last
// operation began (the last kNone), or none.
const Outcome* ShownOutcome(const std::vector<Outcome>& outcomes);

}  // namespace taktm

#endif  // TAKT_CLI_RUN_VERDICT_H_
