// One line of the production log: a JSON object per chip, on one line.
#ifndef TAKT_CLI_LOG_LINE_H_
#define TAKT_CLI_LOG_LINE_H_

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/run_verdict.h"
#include "programming/outcome.h"

namespace taktm {

struct ChipRecord {
  // The line written as the number is taken ("status":"started"), before
  // the counter moves and before the chip gets it; the run's own line
  // follows when it ends.
  bool started = false;
  std::chrono::system_clock::time_point time;  // when the run ended
  std::string port;
  std::string device;  // empty when the device was never heard
  std::string chip;    // empty when no chip was selected
  std::string command;
  std::string file;      // the image's file, for the commands with one
  std::string sha256;    // of the image as the file gave it
  bool serials = false;  // --serial was given
  std::optional<uint64_t> serial;  // the number taken for this chip
  // With a text template (--serial …:text=), the number is shown as its
  // text.
  std::string serial_template;
  // An interrupted run: whether the command carrying the number went out.
  std::optional<bool> serial_sent;
  std::string signal;  // an interrupted run: "SIGTERM"
  ExitStatus status = ExitStatus::kOk;
  std::string message;              // why it failed
  std::optional<uint32_t> address;  // the first chunk that did not verify
  std::optional<MismatchDetails> mismatch;  // that chunk as read back
  uint64_t bytes = 0;                       // data bytes the device answered
  int64_t duration_ms = 0;
  // program: each memory's image with its fingerprint (in place of `file`
  // and `sha256`, which then join them for the database's columns), the
  // bits asked for, and the step a failure stopped at.
  struct Image {
    std::string memory;  // "flash", "eeprom"
    std::string file;
    std::string sha256;
  };
  std::vector<Image> images;
  std::optional<std::string> fuses;
  std::optional<std::string> locks;
  std::string step;
};

// "2024-03-05T14:07:09.042Z".
std::string UtcTimeText(std::chrono::system_clock::time_point time);

// The record as one JSON object and a line feed. A number taken by a chip
// that failed is marked unused ("serial_used":false): it is never given
// out again. A started record carries what is known when the number is
// taken and "status":"started", no verdict.
std::string ChipRecordLine(const ChipRecord& record);

}  // namespace taktm

#endif  // TAKT_CLI_LOG_LINE_H_
