#include "widgets/int_text.h"

namespace taktm {

bool IsIntEditChar(char32_t c) {
  return c < 32 || c == U'+' || c == U'-' || (c >= U'0' && c <= U'9');
}

std::optional<int32_t> ParseInt32(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  // Accumulate as a 64-bit magnitude so that -2147483648 parses.
  uint64_t magnitude = 0;
  for (char c : text) {
    magnitude = magnitude * 10 + static_cast<uint64_t>(c - '0');
    if (magnitude > 2147483648ULL) return std::nullopt;
  }
  if (negative) return static_cast<int32_t>(-static_cast<int64_t>(magnitude));
  if (magnitude > 2147483647ULL) return std::nullopt;
  return static_cast<int32_t>(magnitude);
}

int32_t Int32OrZero(std::string_view text) {
  return ParseInt32(text).value_or(0);
}

std::string PaddedInt(int32_t value, int digits) {
  std::string text = std::to_string(value);
  if (digits > 0 && text.size() < static_cast<size_t>(digits)) {
    text.insert(0, static_cast<size_t>(digits) - text.size(), '0');
  }
  return text;
}

}  // namespace taktm
