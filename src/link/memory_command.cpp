#include "link/memory_command.h"

#include <algorithm>
#include <cstdio>

namespace taktm {

uint32_t ReadLe32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) |
         static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 |
         static_cast<uint32_t>(bytes[3]) << 24;
}

void WriteLe32(uint32_t value, uint8_t* bytes) {
  for (int i = 0; i < 4; ++i) {
    bytes[i] = static_cast<uint8_t>(value >> (8 * i));
  }
}

void PutMemoryHeader(uint8_t* out, uint8_t opcode, uint32_t address,
                     uint8_t count) {
  out[0] = opcode;
  WriteLe32(address, out + kMemoryAddressAt);
  out[kMemoryCountAt] = count;
}

std::vector<uint8_t> EncodeMemoryCommand(uint8_t opcode, uint32_t address,
                                         uint8_t count, const uint8_t* data,
                                         size_t size) {
  std::vector<uint8_t> command(kMemoryDataAt + size);
  PutMemoryHeader(command.data(), opcode, address, count);
  if (size > 0) std::copy_n(data, size, command.begin() + kMemoryDataAt);
  return command;
}

std::optional<MemoryCommand> DecodeMemoryCommand(
    const std::vector<uint8_t>& command) {
  if (command.size() < kMemoryDataAt) return std::nullopt;
  return MemoryCommand{command[0], ReadLe32(&command[kMemoryAddressAt]),
                       command[kMemoryCountAt], command.size() - kMemoryDataAt};
}

std::string Hex(uint64_t value, int min_digits) {
  char text[20];
  std::snprintf(text, sizeof text, "%0*llX", min_digits,
                static_cast<unsigned long long>(value));
  return text;
}

}  // namespace taktm
