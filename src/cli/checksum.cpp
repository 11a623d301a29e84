#include "cli/checksum.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace taktm {
namespace {

constexpr std::array<uint32_t, 256> MakeTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

constexpr std::array<uint32_t, 256> kTable = MakeTable();

}  // namespace

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc) {
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) {
    crc = kTable[(crc ^ data[i]) & 0xFFu] ^ (crc >> 8);
  }
  return ~crc;
}

std::string Crc32Text(uint32_t crc) {
  char text[9];
  std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(crc));
  return text;
}

std::optional<size_t> FirstNotBlank(const uint8_t* data, size_t size) {
  const uint8_t* end = data + size;
  const uint8_t* found =
      std::find_if(data, end, [](uint8_t b) { return b != 0xFF; });
  if (found == end) return std::nullopt;
  return static_cast<size_t>(found - data);
}

}  // namespace taktm
