// The command line of takt-m-devsim.
#ifndef TAKT_DEVSIM_DEVSIM_OPTIONS_H_
#define TAKT_DEVSIM_DEVSIM_OPTIONS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "device_model.h"
#include "fault_plan.h"

namespace taktm::devsim {

// The program takes 5,000 ms without an acknowledgement as a lost device.
inline constexpr uint32_t kMaxAckMs = 4999;

struct DevsimOptions {
  std::string link_path;   // symbolic link made to the port, if any
  std::string chips_path;  // catalogue file; empty = built-in
  std::string memory_dir;  // memories mirrored in files there, if any
  std::string log_path;    // frame log, if any
  bool log_acks = false;
  uint32_t ack_ms = 200;
  uint32_t latency_ms = 0;      // before each reply
  uint32_t silent_for_ms = 0;   // 0 = silent for good
  uint32_t baud = 0;            // 0 = no pacing
  int bits_per_byte = 10;       // start, 8 data, stop; 11 with parity
  uint32_t split_bytes = 0;     // output written this many bytes at a time
  uint32_t split_gap_ms = 5;    // ... with this long between the writes
  bool ack_jitter = false;      // idle periods drawn from 1 to ack_ms
  bool ack_on_receipt = false;  // ack as a command starts, not after it
  int slow_opcode = -1;         // this opcode's replies take slow_ms
  uint32_t slow_ms = 0;
  uint32_t pad_bytes = 0;  // extra bytes behind every reply's fields
  ModelOptions model;
  FaultOptions faults;
  bool help = false;
};

// Parses argv[1..]; on failure returns false with a message for stderr.
bool ParseDevsimOptions(const std::vector<std::string>& args,
                        DevsimOptions& options, std::string& error);

const char* DevsimUsage();

}  // namespace taktm::devsim

#endif  // TAKT_DEVSIM_DEVSIM_OPTIONS_H_
