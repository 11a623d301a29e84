// ReadIntelHex: turns Intel HEX text into a flat image that starts at address
// 0, with 0xFF wherever no data record puts a byte. Pure: text in, image or
// verdict out; the caller decides what to show and what to load.
//
// Data (0) and end-of-file (1) records make the image; extended segment (2)
// and extended linear (4) address records move the base of the data records
// that follow; start address records (3, 5) and other types are checked and
// passed over. Every record's checksum is verified and a character that is
// not a hex digit where one is due refuses the file, so that a damaged file
// never becomes an image that is then written to a chip.
#ifndef TAKT_BUFFER_INTEL_HEX_H_
#define TAKT_BUFFER_INTEL_HEX_H_

#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace taktm {

enum class HexStatus {
  kImage,      // `image` holds the file's content
  kRefused,    // the file is damaged or too large: show `warning`
  kAbandoned,  // no end-of-file record: the load stops without a message
};

enum class HexFault {
  kNone,
  kBadCharacter,  // not a hex digit where one is due
  kBadChecksum,   // a record's bytes do not sum to 0
  kBadRecord,     // an address record without exactly two data bytes
  kTooLarge,      // the image would reach kBufferLimit bytes
};

struct IntelHexResult {
  HexStatus status = HexStatus::kAbandoned;
  HexFault fault = HexFault::kNone;
  size_t line = 0;      // 1-based line of the faulty record
  std::string warning;  // the text of the warning box for a refusal
  std::vector<uint8_t> image;
};

IntelHexResult ReadIntelHex(std::string_view text);
// Reads the whole stream from its start.
IntelHexResult ReadIntelHex(std::istream& input);

}  // namespace taktm

#endif  // TAKT_BUFFER_INTEL_HEX_H_
