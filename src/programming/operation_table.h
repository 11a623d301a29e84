// The operations of the device's list, described once: the code (also the
// opcode of the command that carries it out), the name the operation list
// shows, the command line's word with its usage line and several-port rule,
// the memory it works on and its verify step. The window's list, the
// command line's parser, its usage text and its runner all read this table.
#ifndef TAKT_PROGRAMMING_OPERATION_TABLE_H_
#define TAKT_PROGRAMMING_OPERATION_TABLE_H_

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "programming/opcodes.h"
#include "programming/option_id.h"

namespace taktm {

enum class OperationMemory {
  kNone,  // the chip as a whole, the signature, calibration bytes
  kFlash,
  kEeprom,
  kRam,
  kFuseBits,
  kLockBits,
};

enum class OperationAction { kRead, kWrite, kVerify, kErase, kOther };

struct OperationRow {
  uint8_t code;
  const char* name;     // shown in the operation list
  const char* command;  // the command line's word; nullptr: no command
  OperationMemory memory;
  OperationAction action;
  // The verify step: the operation that checks the memory after this one
  // (-1: none), run only while `verify_option` is ticked (none: always).
  int verify_code;
  std::optional<Option> verify_option;
  // With a command-line word: the usage text's lines for it ('\n' between
  // them), and whether it runs on several ports at once (its result is a
  // verdict on each chip, not a listing or a file of its own). The command
  // line takes its operation words, their arguments, this rule and the
  // usage from this table alone.
  const char* usage = nullptr;
  bool several_ports = false;
};

// Every operation the device may list, in the order of its code.
const std::array<OperationRow, 21>& OperationTable();

// The row of operation `code`, or nullptr for a code no row describes.
const OperationRow* FindOperation(int code);
// The row whose command-line word is `command`, or nullptr.
const OperationRow* FindOperationByCommand(std::string_view command);
// The name the operation list shows for `code`; empty for a code without a
// row.
const char* OperationName(int code);

// Commands of the command line that carry out an operation: reads, writes
// and verifies of program memory or EEPROM take a file (written by a read,
// the image of a write or verify); writes of fuse or lock bits take the bits.
bool TakesFile(const OperationRow& row);
bool TakesImage(const OperationRow& row);
bool TakesBits(const OperationRow& row);
// Reads and verifies of program memory or EEPROM may be limited to a range.
bool TakesRange(const OperationRow& row);

}  // namespace taktm

#endif  // TAKT_PROGRAMMING_OPERATION_TABLE_H_
