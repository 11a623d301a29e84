// How takt-m-cli reports the details of a failed verify: one line of text
// (under the error on standard error, and in the log's message), and the
// "mismatches" object of --json and of the log line.
#ifndef TAKT_CLI_MISMATCH_REPORT_H_
#define TAKT_CLI_MISMATCH_REPORT_H_

#include <string>

#include "cli/json_text.h"
#include "programming/outcome.h"

namespace taktm {

// The details in one line: the sentences as the window's box gives them,
// the listed bytes separated by semicolons.
std::string MismatchText(const MismatchDetails& details);

// {"address","address_hex","length","read_back","differing_bytes",
//  "bits_cleared","bits_set","only_cleared_bits","bytes":[{"address",
//  "file","chip"}...],"hint"} - the hint only when it applies.
JsonObject MismatchJson(const MismatchDetails& details);

}  // namespace taktm

#endif  // TAKT_CLI_MISMATCH_REPORT_H_
