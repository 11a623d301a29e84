// Grid arithmetic and the text forms of the hex grid: sixteen bytes to a row
// under a header row, upper-case hex without prefix.
#ifndef TAKT_BUFFER_GRID_TEXT_H_
#define TAKT_BUFFER_GRID_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace taktm {

inline constexpr int kGridColumns = 17;  // row labels + 16 bytes
inline constexpr int kBytesPerRow = 16;

// Grid rows, header included, for a buffer of `n` bytes: max(2, n div 16 + 1),
// plus one when n mod 16 is not 0. An empty buffer still shows one data row.
size_t GridRowsFor(size_t n);

// Always two upper-case digits: "05", "AB".
std::string ByteToHexText(uint8_t b);

// Upper-case hex without leading zeros: "0", "F", "1000". Headers and row
// labels use it.
std::string HexLabel(size_t value);

// The value of a string of hex digits, either case; empty text is 0. Long
// text wraps modulo 2^32, which keeps the value modulo 256 exact. Nothing
// when a character is not a hex digit.
std::optional<uint32_t> HexTextToInt(std::string_view text);

// 0..15 for "0"-"9", "A"-"F", "a"-"f"; -1 otherwise.
inline int HexDigitValue(char32_t c) {
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
  if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
  if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
  return -1;
}

}  // namespace taktm

#endif  // TAKT_BUFFER_GRID_TEXT_H_
