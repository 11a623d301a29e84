// Motorola S-record text: read into a flat image from address 0, and written
// from one.
//
// The reader takes S0 (header, checked and passed over), S1/S2/S3 data with
// 16-, 24- and 32-bit addresses, S5/S6 record counts (which must equal the
// number of data records before them) and S7/S8/S9 ends. Every record's
// checksum is verified; a line that is not a record, a bad digit, a length
// that does not match the line, or a missing end record refuses the whole
// file with the line's number, so that a damaged file never reaches a chip.
// Blank lines are allowed anywhere; nothing after the end record is read.
#ifndef TAKT_BUFFER_SREC_H_
#define TAKT_BUFFER_SREC_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "buffer/image_result.h"

namespace taktm {

ImageResult ReadSrec(std::string_view text);

// The image as an S0 header, S1 data records of 16 bytes (S2 once addresses
// pass 64 KiB, S3 past 16 MiB), an S5/S6 count when it fits, and the end
// record of the same width. Lines end in CR LF.
std::string WriteSrec(const uint8_t* data, size_t size);

}  // namespace taktm

#endif  // TAKT_BUFFER_SREC_H_
