// The layout of a memory command and of its reply: the opcode, the address
// (4 bytes, least significant first), the count of bytes, then the data.
// Reads carry no data (their reply does), writes and verifies carry the
// bytes. The programmer, the serial number's stamping, the reply matching
// and the device emulator all code and read it here.
#ifndef TAKT_LINK_MEMORY_COMMAND_H_
#define TAKT_LINK_MEMORY_COMMAND_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace taktm {

inline constexpr size_t kMemoryAddressAt = 1;
inline constexpr size_t kMemoryCountAt = 5;
inline constexpr size_t kMemoryDataAt = 6;  // also the header's size

// 4 bytes at `bytes`, least significant first.
uint32_t ReadLe32(const uint8_t* bytes);
void WriteLe32(uint32_t value, uint8_t* bytes);

// Writes the header (opcode, address, count) into `out`'s first
// kMemoryDataAt bytes.
void PutMemoryHeader(uint8_t* out, uint8_t opcode, uint32_t address,
                     uint8_t count);

// The whole command: the header and `size` bytes of `data`.
std::vector<uint8_t> EncodeMemoryCommand(uint8_t opcode, uint32_t address,
                                         uint8_t count,
                                         const uint8_t* data = nullptr,
                                         size_t size = 0);

// A memory command's header and where its data are.
struct MemoryCommand {
  uint8_t opcode = 0;
  uint32_t address = 0;
  uint8_t count = 0;
  size_t data_size = 0;  // the bytes after the header
};

// The header of `command`; nothing when it is shorter than a header.
std::optional<MemoryCommand> DecodeMemoryCommand(
    const std::vector<uint8_t>& command);

// Upper-case hexadecimal without leading zeros ("1C0"), or zero-padded to
// `min_digits` ("0F"), as the status line and the messages show addresses
// and bytes.
std::string Hex(uint64_t value, int min_digits = 1);

}  // namespace taktm

#endif  // TAKT_LINK_MEMORY_COMMAND_H_
