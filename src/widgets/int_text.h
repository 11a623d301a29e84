// Text forms of the integer edit box: what it accepts, how it reads its
// text and how it pads its value.
#ifndef TAKT_WIDGETS_INT_TEXT_H_
#define TAKT_WIDGETS_INT_TEXT_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace taktm {

// "+", "-", the digits and every control character (code below 32).
bool IsIntEditChar(char32_t c);

// An optional sign followed by one or more decimal digits, within the signed
// 32-bit range; nothing else (no blanks).
std::optional<int32_t> ParseInt32(std::string_view text);

// ParseInt32, or 0 for text that is not such a number.
int32_t Int32OrZero(std::string_view text);

// The decimal text of value with "0" put in front until it is `digits`
// characters long (in front of a minus sign too: -5 with 4 digits is
// "00-5").
std::string PaddedInt(int32_t value, int digits);

}  // namespace taktm

#endif  // TAKT_WIDGETS_INT_TEXT_H_
