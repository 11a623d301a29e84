// Pieces shared by the text image formats (Intel HEX, S-record): their
// lines trimmed of blanks and their bytes as two hex digits.
#ifndef TAKT_BUFFER_RECORD_TEXT_H_
#define TAKT_BUFFER_RECORD_TEXT_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace taktm {

// `line` without the spaces, tabs and carriage returns around it.
inline std::string_view TrimBlanks(std::string_view line) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!line.empty() && blank(line.back())) line.remove_suffix(1);
  while (!line.empty() && blank(line.front())) line.remove_prefix(1);
  return line;
}

// Appends `byte` as two upper-case hex digits.
inline void AppendHexByte(std::string& out, uint8_t byte) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  out += kDigits[byte >> 4];
  out += kDigits[byte & 15];
}

}  // namespace taktm

#endif  // TAKT_BUFFER_RECORD_TEXT_H_
