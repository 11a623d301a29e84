// Text made valid UTF-8 for output that must be (JSON): a file or port name
// given as bytes in another encoding must not make the output unreadable.
#ifndef TAKT_CLI_UTF8_TEXT_H_
#define TAKT_CLI_UTF8_TEXT_H_

#include <string>
#include <string_view>

namespace taktm {

// `text` with every byte that does not start or continue a well-formed
// UTF-8 sequence replaced by U+FFFD (one replacement per maximal invalid
// subpart, as Unicode recommends). Overlong forms, surrogates and code
// points above U+10FFFF are invalid too.
std::string ValidUtf8(std::string_view text);

// The number of code points in valid UTF-8 `text`: its width on a
// terminal for the Latin and Cyrillic letters the program prints.
size_t CodePointCount(std::string_view text);

}  // namespace taktm

#endif  // TAKT_CLI_UTF8_TEXT_H_
