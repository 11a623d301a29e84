#include "buffer/grid_text.h"

namespace taktm {

namespace {
constexpr char kDigits[] = "0123456789ABCDEF";
}  // namespace

size_t GridRowsFor(size_t n) {
  size_t rows = n / kBytesPerRow + 1;
  if (rows < 2) rows = 2;
  if (n % kBytesPerRow != 0) ++rows;
  return rows;
}

std::string ByteToHexText(uint8_t b) {
  return std::string{kDigits[b >> 4], kDigits[b & 0x0F]};
}

std::string HexLabel(size_t value) {
  char text[2 * sizeof(size_t)];
  size_t start = sizeof(text);
  do {
    text[--start] = kDigits[value & 0x0F];
    value >>= 4;
  } while (value != 0);
  return std::string(text + start, sizeof(text) - start);
}

std::optional<uint32_t> HexTextToInt(std::string_view text) {
  uint32_t value = 0;
  for (char c : text) {
    const int digit = HexDigitValue(static_cast<unsigned char>(c));
    if (digit < 0) return std::nullopt;
    value = value * 16 + static_cast<uint32_t>(digit);
  }
  return value;
}

}  // namespace taktm
