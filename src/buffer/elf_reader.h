// ELF executables read into a flat image from address 0: the file bytes of
// every loadable segment (PT_LOAD) at its physical address, 0xFF elsewhere.
// 32- and 64-bit files of either byte order are read; the bytes a segment
// has only in memory (p_memsz beyond p_filesz) are not placed, as the chip
// holds only what the file carries. A file that is not ELF, has no loadable
// bytes (an object file before linking), is cut short, or places a byte at
// or beyond kElfAddressLimit is refused with the reason.
#ifndef TAKT_BUFFER_ELF_READER_H_
#define TAKT_BUFFER_ELF_READER_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "buffer/image_result.h"

namespace taktm {

inline constexpr uint64_t kElfAddressLimit = 16u << 20;

// Whether the bytes start with the ELF magic.
bool HasElfMagic(std::string_view bytes);

ImageResult ReadElf(std::string_view bytes);

}  // namespace taktm

#endif  // TAKT_BUFFER_ELF_READER_H_
