#include "programming/mismatch_details.h"

#include <algorithm>
#include <bit>

#include "link/memory_command.h"
#include "programming/opcodes.h"

namespace taktm {
MismatchDetails CompareBytes(uint32_t address, const uint8_t* image,
                             const uint8_t* chip, size_t n) {
  MismatchDetails d;
  d.chunk_address = address;
  for (size_t i = 0; i < n; ++i) {
    if (image[i] == chip[i]) continue;
    ++d.differing_bytes;
    d.bits_cleared +=
        static_cast<uint32_t>(std::popcount<uint8_t>(image[i] & ~chip[i]));
    d.bits_set +=
        static_cast<uint32_t>(std::popcount<uint8_t>(~image[i] & chip[i]));
    if (d.first.size() < kMismatchesListed) {
      d.first.push_back(
          {address + static_cast<uint32_t>(i), image[i], chip[i]});
    }
  }
  return d;
}

bool OnlyClearedBits(const MismatchDetails& d) {
  return d.bits_cleared > 0 && d.bits_set == 0;
}

std::vector<std::string> MismatchLines(const MismatchDetails& d) {
  std::vector<std::string> lines;
  std::string chunk = "Блок с адреса " + Hex(d.chunk_address) + ", длина " +
                      std::to_string(d.chunk_length);
  if (d.read_back < d.chunk_length) {
    chunk += ", прочитано из микросхемы " + std::to_string(d.read_back);
  }
  lines.push_back(chunk + ".");
  if (d.differing_bytes == 0) {
    lines.push_back(d.read_back == 0
                        ? "Микросхема не вернула ни одного байта блока."
                        : "Прочитанные из микросхемы байты совпадают с "
                          "файлом.");
    return lines;
  }
  lines.push_back("Различающихся байт: " + std::to_string(d.differing_bytes) +
                  ".");
  lines.push_back("Битов 1→0 (в файле 1, в микросхеме 0): " +
                  std::to_string(d.bits_cleared) + ".");
  lines.push_back("Битов 0→1 (в файле 0, в микросхеме 1): " +
                  std::to_string(d.bits_set) + ".");
  for (const ByteMismatch& m : d.first) {
    lines.push_back(Hex(m.address) + ": в файле " + Hex(m.expected, 2) +
                    ", в микросхеме " + Hex(m.actual, 2));
  }
  if (d.differing_bytes > d.first.size()) {
    lines.push_back("Ещё различающихся байт: " +
                    std::to_string(d.differing_bytes - d.first.size()) + ".");
  }
  if (OnlyClearedBits(d)) lines.push_back(kUnerasedHint);
  return lines;
}

std::optional<ChunkReadBack> ChunkReadBack::ForVerify(
    const std::vector<uint8_t>& command) {
  if (command.size() < 6) return std::nullopt;
  ChunkReadBack r;
  switch (command[0]) {
    case OP_VERIFY_FLASH:
      r.read_opcode_ = OP_READ_FLASH;
      break;
    case OP_VERIFY_EEPROM:
      r.read_opcode_ = OP_READ_EEPROM;
      break;
    default:
      return std::nullopt;
  }
  for (int i = 0; i < 4; ++i) {
    r.address_ |= uint32_t{command[1 + static_cast<size_t>(i)]} << (8 * i);
  }
  const size_t n = std::min<size_t>(command[5], command.size() - 6);
  if (n == 0) return std::nullopt;
  r.image_.assign(command.begin() + 6,
                  command.begin() + 6 + static_cast<ptrdiff_t>(n));
  r.chip_.reserve(n);
  return r;
}

std::vector<uint8_t> ChunkReadBack::ReadCommand() const {
  return {read_opcode_,
          static_cast<uint8_t>(address_),
          static_cast<uint8_t>(address_ >> 8),
          static_cast<uint8_t>(address_ >> 16),
          static_cast<uint8_t>(address_ >> 24),
          static_cast<uint8_t>(image_.size())};
}

void ChunkReadBack::Take(uint32_t address, const uint8_t* bytes, size_t n) {
  // Only the continuation of what has arrived: the rest of a short reply
  // is asked for at the next address.
  if (address != address_ + chip_.size()) return;
  n = std::min(n, image_.size() - chip_.size());
  chip_.insert(chip_.end(), bytes, bytes + n);
}

MismatchDetails ChunkReadBack::Details() const {
  MismatchDetails d =
      CompareBytes(address_, image_.data(), chip_.data(), chip_.size());
  d.chunk_length = static_cast<uint32_t>(image_.size());
  d.read_back = static_cast<uint32_t>(chip_.size());
  return d;
}

}  // namespace taktm
