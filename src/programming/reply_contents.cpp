#include "programming/reply_contents.h"

#include <algorithm>

#include "link/memory_command.h"
#include "programming/opcodes.h"

namespace taktm {
namespace {

// A field at `i` that sizes what follows it: the whole row is `i + 1 +
// field`, or 0 when the field itself was not carried.
size_t Sized(const ReplyRecord& reply, uint8_t length, size_t i) {
  return i < length ? i + 1 + reply[i] : 0;
}

// The `count` bytes from 1 of the reply equal the command's.
bool Echoes(const ReplyRecord& reply, const std::vector<uint8_t>& command,
            size_t count) {
  return command.size() > count &&
         std::equal(command.begin() + 1, command.begin() + 1 + count,
                    reply.begin() + 1);
}

}  // namespace

size_t RowLength(const ReplyRecord& reply, uint8_t length) {
  switch (reply[0]) {
    case OP_READ_SIGNATURE: {  // n, n bytes, verdict
      const size_t bytes = Sized(reply, length, 1);
      return bytes == 0 ? 0 : bytes + 1;
    }
    case OP_READ_FUSES:
    case OP_READ_LOCKS:
    case OP_READ_CALIBRATION:
      return Sized(reply, length, 1);
    case OP_READ_FLASH:
    case OP_READ_EEPROM:  // address, count, count bytes
      return Sized(reply, length, kMemoryCountAt);
    case OP_VERIFY_FLASH:
    case OP_VERIFY_EEPROM:  // address, count, verdict
      return 7;
    case SVC_GET_SIZE_F1:
    case SVC_GET_EEPROM_SIZE:
    case SVC_GET_FLASH_SIZE:
    case SVC_GET_OPERATIONS:
      return 5;
    case SVC_GET_LOCK_NAME:
    case SVC_GET_FUSE_NAME:
    case SVC_GET_INFO_LINE:  // index, text
      return Sized(reply, length, 2);
    case SVC_GET_LOCK_COUNT:
    case SVC_GET_FUSE_COUNT:
    case SVC_GET_CHIP_COUNT:
    case SVC_GET_INFO_COUNT:
      return 2;
    case SVC_GET_CHIP_NAME:
    case SVC_GET_NAME:
      return Sized(reply, length, 1);
    default:  // the opcode alone
      return 1;
  }
}

bool ReplyAnswersCommand(const ReplyRecord& reply, uint8_t length,
                         const std::vector<uint8_t>& command) {
  if (command.empty() || command.front() != reply[0]) return false;
  const size_t needed = RowLength(reply, length);
  if (needed == 0 || length < needed) return false;
  switch (reply[0]) {
    case OP_READ_FLASH:
    case OP_READ_EEPROM:
      // A device may carry fewer bytes than asked (the rest is asked for
      // next), but not none of them: that would be asked again without end.
      return Echoes(reply, command, 4) && command.size() > kMemoryCountAt &&
             reply[kMemoryCountAt] <= command[kMemoryCountAt] &&
             (reply[kMemoryCountAt] > 0 || command[kMemoryCountAt] == 0);
    case OP_VERIFY_FLASH:
    case OP_VERIFY_EEPROM:  // the address and the count
      return Echoes(reply, command, 5);
    case SVC_GET_LOCK_NAME:
    case SVC_GET_FUSE_NAME:
    case SVC_GET_INFO_LINE:
      return Echoes(reply, command, 1);
    default:
      return true;
  }
}

}  // namespace taktm
