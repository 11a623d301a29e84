#include "programming/programming_fixture.h"

#include <algorithm>

namespace taktm::testing {
namespace {

void AppendText(Bytes& reply, const std::string& text) {
  reply.push_back(static_cast<uint8_t>(text.size()));
  reply.insert(reply.end(), text.begin(), text.end());
}

void AppendWord(Bytes& reply, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    reply.push_back(static_cast<uint8_t>(value >> 8 * i));
}

uint32_t WordAt(const Bytes& command, size_t i) {
  return command[i] | command[i + 1] << 8 | command[i + 2] << 16 |
         static_cast<uint32_t>(command[i + 3]) << 24;
}

}  // namespace

Bytes FakeDevice::ReplyFor(const Bytes& command) {
  const uint8_t op = command[0];
  Bytes reply = {op};
  switch (op) {
    case OP_READ_SIGNATURE:
      reply.insert(reply.end(), {3, 0x1E, 0x95, 0x0F, signature_verdict});
      break;
    case OP_READ_FUSES:
      reply.push_back(static_cast<uint8_t>(fuse_states.size()));
      reply.insert(reply.end(), fuse_states.begin(), fuse_states.end());
      break;
    case OP_READ_FLASH:
    case OP_READ_EEPROM:
    case OP_VERIFY_FLASH:
    case OP_VERIFY_EEPROM: {
      const auto& memory =
          (op == OP_READ_FLASH || op == OP_VERIFY_FLASH) ? flash : eeprom;
      const uint32_t address = WordAt(command, 1);
      const uint8_t count = command[5];
      reply.insert(reply.end(), command.begin() + 1, command.begin() + 6);
      if (op == OP_READ_FLASH || op == OP_READ_EEPROM) {
        reply.insert(reply.end(), memory.begin() + address,
                     memory.begin() + address + count);
      } else {
        reply.push_back(std::equal(command.begin() + 6, command.end(),
                                   memory.begin() + address));
      }
      break;
    }
    case OP_WRITE_FLASH:
    case OP_WRITE_EEPROM: {
      auto& memory = op == OP_WRITE_FLASH ? flash : eeprom;
      const uint32_t address = WordAt(command, 1);
      for (size_t i = 6; i < command.size(); ++i) {
        const size_t at = address + i - 6;
        if (op == OP_WRITE_FLASH && static_cast<int>(at) == stuck_address) {
          continue;
        }
        memory[at] = command[i];
      }
      break;
    }
    case OP_ERASE_ALL:
      std::fill(flash.begin(), flash.end(), 0xFF);
      std::fill(eeprom.begin(), eeprom.end(), 0xFF);
      break;
    case SVC_GET_SIZE_F1:
      AppendWord(reply, 7);
      break;
    case SVC_GET_EEPROM_SIZE:
      AppendWord(reply, eeprom_size);
      break;
    case SVC_GET_FLASH_SIZE:
      AppendWord(reply, flash_size);
      break;
    case SVC_GET_LOCK_NAME:
    case SVC_GET_FUSE_NAME:
      reply.push_back(command[1]);
      AppendText(reply, (op == SVC_GET_LOCK_NAME ? "LB" : "FB") +
                            std::to_string(command[1]));
      break;
    case SVC_GET_LOCK_COUNT:
      reply.push_back(static_cast<uint8_t>(lock_bits));
      break;
    case SVC_GET_FUSE_COUNT:
      reply.push_back(static_cast<uint8_t>(fuse_bits));
      break;
    case SVC_GET_OPERATIONS:
      AppendWord(reply, mask);
      break;
    case SVC_GET_CHIP_NAME:
      AppendText(reply, chips.at(command[1]));
      break;
    case SVC_GET_CHIP_COUNT:
      reply.push_back(static_cast<uint8_t>(chips.size()));
      break;
    case SVC_GET_INFO_LINE:
      reply.push_back(command[1]);
      AppendText(reply, info.at(command[1]));
      break;
    case SVC_GET_INFO_COUNT:
      reply.push_back(static_cast<uint8_t>(info.size()));
      break;
    case SVC_GET_NAME:
      AppendText(reply, name);
      break;
    default:  // writes, erases, selection, SVC_END: the opcode alone
      break;
  }
  return reply;
}

std::string ProgrammingTest::Summary() const {
  std::string out;
  char part[32];
  for (const Bytes& c : Queued()) {
    if (!out.empty()) out += ' ';
    std::snprintf(part, sizeof part, "%02X", c[0]);
    out += part;
    if (c.size() == 2) {
      out += ":" + std::to_string(c[1]);
    } else if (c.size() >= 6 && c[0] >= OP_READ_FLASH &&
               c[0] <= OP_VERIFY_EEPROM) {
      out += "@" + std::to_string(WordAt(c, 1)) + "+" + std::to_string(c[5]);
    }
  }
  return out;
}

}  // namespace taktm::testing
