// What a reader of an image file gives: the flat image from address 0 (0xFF
// wherever the file puts no byte), or a refusal with the warning to show.
// A refusal never carries a partial image.
#ifndef TAKT_BUFFER_IMAGE_RESULT_H_
#define TAKT_BUFFER_IMAGE_RESULT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace taktm {

enum class ImageStatus {
  kImage,      // `image` holds the file's content
  kRefused,    // damaged, not of the format, or too large: show `warning`
  kAbandoned,  // an Intel HEX file without its end record: no message
};

struct ImageResult {
  ImageStatus status = ImageStatus::kRefused;
  size_t line = 0;      // 1-based line of a refused record (text formats)
  std::string warning;  // the text of the warning box for a refusal
  std::vector<uint8_t> image;
};

}  // namespace taktm

#endif  // TAKT_BUFFER_IMAGE_RESULT_H_
