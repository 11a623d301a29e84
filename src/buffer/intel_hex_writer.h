// WriteIntelHex: a flat image from address 0 as Intel HEX text, so that a
// memory read can be compared with a build's output by any HEX tool.
#ifndef TAKT_BUFFER_INTEL_HEX_WRITER_H_
#define TAKT_BUFFER_INTEL_HEX_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace taktm {

inline constexpr size_t kHexRecordBytes = 16;

// Every byte of the image in data records of 16 bytes (the last one shorter),
// an extended linear address record (type 4) before the first record of each
// 64 KiB page above the first, and the end-of-file record. Lines end in CR
// LF. Images up to 4 GiB are addressable; the program's buffer is far below.
std::string WriteIntelHex(const uint8_t* data, size_t size);

}  // namespace taktm

#endif  // TAKT_BUFFER_INTEL_HEX_WRITER_H_
