// What blank-check and checksum say about an image: the first byte that is
// not 0xFF, and the CRC-32 that zlib, gzip and the `crc32` tool compute
// (reflected polynomial 0xEDB88320, initial and final value inverted), so
// that a chip's memory can be compared with a file by other tools.
#ifndef TAKT_CLI_CHECKSUM_H_
#define TAKT_CLI_CHECKSUM_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace taktm {

// `crc` is the value of the bytes before these (0 for none), so that an
// image may be summed in parts.
uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0);

// Eight lower-case hex digits, as zlib's users and `crc32` print them.
std::string Crc32Text(uint32_t crc);

// The offset of the first byte that is not 0xFF, or nothing when all are.
std::optional<size_t> FirstNotBlank(const uint8_t* data, size_t size);

}  // namespace taktm

#endif  // TAKT_CLI_CHECKSUM_H_
