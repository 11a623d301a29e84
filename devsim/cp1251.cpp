#include "cp1251.h"

#include <array>
#include <cstdint>

namespace taktm::devsim {
namespace {

// Code points of the bytes 0x80..0xBF; 0 marks the one unassigned byte (0x98).
constexpr std::array<char32_t, 64> kHighHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0,      0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

bool EncodeCodePoint(char32_t c, std::string& out) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
    return true;
  }
  if (c >= 0x0410 && c <= 0x044F) {  // А..я in one run from 0xC0
    out.push_back(static_cast<char>(0xC0 + (c - 0x0410)));
    return true;
  }
  for (size_t i = 0; i < kHighHalf.size(); ++i) {
    if (kHighHalf[i] != 0 && kHighHalf[i] == c) {
      out.push_back(static_cast<char>(0x80 + i));
      return true;
    }
  }
  return false;
}

// Decodes one UTF-8 sequence at `pos`; false on malformed input.
bool NextCodePoint(std::string_view s, size_t& pos, char32_t& c) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(s[i]); };
  const uint8_t lead = byte(pos);
  size_t extra;
  if (lead < 0x80) {
    c = lead, extra = 0;
  } else if ((lead & 0xE0) == 0xC0) {
    c = lead & 0x1F, extra = 1;
  } else if ((lead & 0xF0) == 0xE0) {
    c = lead & 0x0F, extra = 2;
  } else if ((lead & 0xF8) == 0xF0) {
    c = lead & 0x07, extra = 3;
  } else {
    return false;
  }
  if (pos + extra >= s.size()) return false;  // sequence cut short
  for (size_t i = 1; i <= extra; ++i) {
    if ((byte(pos + i) & 0xC0) != 0x80) return false;
    c = (c << 6) | (byte(pos + i) & 0x3F);
  }
  pos += extra + 1;
  return true;
}

}  // namespace

bool EncodeCp1251(std::string_view utf8, std::string& out) {
  out.clear();
  size_t pos = 0;
  while (pos < utf8.size()) {
    char32_t c;
    if (!NextCodePoint(utf8, pos, c) || !EncodeCodePoint(c, out)) return false;
  }
  return true;
}

}  // namespace taktm::devsim
