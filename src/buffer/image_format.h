// The formats an image file may have, and the one rule that decides which a
// file is read as: its content first, its name where the content allows
// both. Readers, writers and the rule are pure; the working file and the
// command line apply them.
#ifndef TAKT_BUFFER_IMAGE_FORMAT_H_
#define TAKT_BUFFER_IMAGE_FORMAT_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "buffer/image_result.h"

namespace taktm {

enum class ImageFormat { kRaw, kIntelHex, kSrec, kElf };

// "raw", "ihex", "srec", "elf": the command line's words.
const char* FormatWord(ImageFormat format);
std::optional<ImageFormat> FormatFromWord(std::string_view word);
// "двоичный", "Intel HEX", "S-record", "ELF": the words shown to the user.
const char* FormatTitle(ImageFormat format);

// ELF by its magic; Intel HEX or S-record when every non-empty line is a
// record of that kind (and there is one); raw otherwise.
ImageFormat FormatOfContent(std::string_view bytes);

// The file name's extension from its last dot, dot included, with "a"-"z"
// upper-cased; empty when the name has no dot.
std::string UpperExtension(const std::string& path);

// The format a file's name stands for when it is loaded: ".HEX" and ".IHX"
// with `intel_hex_names` (the window's "понимать HEX-файлы"), ".EEP" with
// `eep_names`, the S-record names (.SREC .S19 .S28 .S37 .MOT) and ".ELF";
// raw for any other name.
ImageFormat FormatOfName(const std::string& path, bool intel_hex_names,
                         bool eep_names);
// The format a save under `path` writes: as FormatOfName, but ELF is never
// written (raw instead).
ImageFormat SaveFormatOfName(const std::string& path, bool intel_hex_names,
                             bool eep_names);

// The rule for a load that names no format. The content decides when it is
// a known format, the name otherwise (a text-format name over content that
// is not that format then meets its reader's refusal). A raw name over
// content that is wholly another format is the one case the user must
// settle: `ask` is set and `format` is the format found.
struct FormatDecision {
  ImageFormat format = ImageFormat::kRaw;
  bool ask = false;
};
FormatDecision DecideFormat(ImageFormat by_name, ImageFormat by_content);

// Reads `bytes` as `format`. A raw image is placed at `raw_offset` (0xFF
// below it); the other formats carry their own addresses.
ImageResult ReadImageAs(ImageFormat format, std::string_view bytes,
                        uint32_t raw_offset = 0);

// The bytes of a file of `format` holding the image (ELF is written raw).
std::string EncodeImage(ImageFormat format, const uint8_t* data, size_t size);

}  // namespace taktm

#endif  // TAKT_BUFFER_IMAGE_FORMAT_H_
