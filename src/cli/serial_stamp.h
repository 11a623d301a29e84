// A serial number in the image: its bytes as the chip holds them, the
// counter file's text, and the queued write and verify commands that carry
// the number's place, which get the number filled in just before the first
// of them goes out.
#ifndef TAKT_CLI_SERIAL_STAMP_H_
#define TAKT_CLI_SERIAL_STAMP_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_args.h"

namespace taktm {

// The bytes of `value` at the number's place: binary (little-endian, or
// big-endian when asked), or
// decimal digits padded with '0' on the left. Nothing when it does not fit
// in `width`.
std::optional<std::vector<uint8_t>> EncodeSerial(uint64_t value, int width,
                                                 SerialFormat format,
                                                 bool big_endian = false);

// The largest number `width` bytes hold in `format`.
uint64_t MaxSerialValue(int width, SerialFormat format);

// The counter file's number: decimal digits, blanks and line ends around
// them allowed. Nothing for anything else, or a number beyond 64 bits.
std::optional<uint64_t> ParseCounterText(std::string_view text);

// The number's place in one memory, and the write and verify opcodes whose
// commands carry bytes of that memory.
struct SerialPlace {
  uint32_t address = 0;
  uint32_t width = 0;
  uint8_t write_opcode = 0;
  uint8_t verify_opcode = 0;
};

// Whether `command` writes or verifies any byte of the place.
bool CarriesSerial(const std::vector<uint8_t>& command,
                   const SerialPlace& place);
// Whether the command writes (not only verifies) a byte of the place.
bool WritesSerial(const std::vector<uint8_t>& command,
                  const SerialPlace& place);
// The command with the number's bytes put in wherever its data overlaps
// the place; others are returned unchanged.
std::vector<uint8_t> StampCommand(std::vector<uint8_t> command,
                                  const SerialPlace& place,
                                  const std::vector<uint8_t>& bytes);
// Whether the write commands among `commands` cover every byte of the
// place, so that the chip gets the whole number.
bool WritesCoverSerial(const std::vector<std::vector<uint8_t>>& commands,
                       const SerialPlace& place);

}  // namespace taktm

#endif  // TAKT_CLI_SERIAL_STAMP_H_
