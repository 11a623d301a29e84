// libFuzzer target for the S-record reader: any input either gives an image
// below the buffer limit, which the writer writes back to the same image,
// or a refusal that names a line and carries no partial image; the content
// rule never calls a refused text by a format it cannot be read as.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "buffer/data_buffer.h"
#include "buffer/image_format.h"
#include "buffer/srec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace taktm;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const ImageResult r = ReadSrec(text);
  switch (r.status) {
    case ImageStatus::kImage: {
      if (r.image.size() >= kBufferLimit) std::abort();
      const ImageResult again =
          ReadSrec(WriteSrec(r.image.data(), r.image.size()));
      if (again.status != ImageStatus::kImage || again.image != r.image) {
        std::abort();
      }
      break;
    }
    case ImageStatus::kRefused:
      if (r.line == 0 || r.warning.empty() || !r.image.empty()) std::abort();
      break;
    case ImageStatus::kAbandoned:
      std::abort();  // an S-record file is read whole or refused
  }
  (void)FormatOfContent(text);
  return 0;
}
