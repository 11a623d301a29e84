#include "cli/utf8_text.h"

namespace taktm {
namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// The length of the well-formed sequence starting at `at`, 0 when the
// bytes there form none. Second bytes are limited as the Unicode table of
// well-formed sequences says, which rules out overlong forms, surrogates and
// values above U+10FFFF; the length of the valid prefix goes to `prefix`.
size_t SequenceLength(std::string_view text, size_t at, size_t* prefix) {
  const auto byte = [&](size_t i) {
    return static_cast<unsigned char>(text[at + i]);
  };
  const unsigned char lead = byte(0);
  *prefix = 1;
  if (lead < 0x80) return 1;
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  for (size_t i = 1; i < length; ++i) {
    if (at + i >= text.size()) return 0;
    const unsigned char b = byte(i);
    const bool fits = i == 1 ? b >= low && b <= high : b >= 0x80 && b <= 0xBF;
    if (!fits) return 0;
    *prefix = i + 1;
  }
  return length;
}

}  // namespace

std::string ValidUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t at = 0;
  while (at < text.size()) {
    size_t prefix = 0;
    const size_t length = SequenceLength(text, at, &prefix);
    if (length > 0) {
      out.append(text.substr(at, length));
      at += length;
    } else {
      out += kReplacement;
      at += prefix;
    }
  }
  return out;
}

size_t CodePointCount(std::string_view text) {
  size_t count = 0;
  for (const char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  }
  return count;
}

}  // namespace taktm
