// Texts on the programmer link are 8-bit Windows-1251; the program holds
// UTF-8. The decoding happens where a reply is read.
#ifndef TAKT_PROGRAMMING_CP1251_H_
#define TAKT_PROGRAMMING_CP1251_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace taktm {

// Decodes `count` Windows-1251 bytes to UTF-8. The one unassigned code, 0x98,
// becomes U+FFFD.
std::string DecodeCp1251(const uint8_t* bytes, size_t count);

// Encodes UTF-8 as Windows-1251 (the virtual programmer's texts). Returns
// false, with `out` partly filled, on malformed UTF-8 or a character the code
// page lacks.
bool EncodeCp1251(std::string_view utf8, std::string& out);

}  // namespace taktm

#endif  // TAKT_PROGRAMMING_CP1251_H_
