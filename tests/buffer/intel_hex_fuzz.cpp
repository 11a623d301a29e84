// libFuzzer target for the Intel HEX reader: any input either gives an image
// below the buffer limit, a refusal naming a line, or an abandoned load; and
// an image written back as HEX reads back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "buffer/data_buffer.h"
#include "buffer/hex_records.h"
#include "buffer/intel_hex.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace taktm;
  const IntelHexResult r =
      ReadIntelHex(std::string_view(reinterpret_cast<const char*>(data), size));
  switch (r.status) {
    case HexStatus::kImage: {
      if (r.image.size() >= kBufferLimit) std::abort();
      const IntelHexResult again = ReadIntelHex(testing::ImageToHex(r.image));
      if (again.status != HexStatus::kImage || again.image != r.image) {
        std::abort();
      }
      break;
    }
    case HexStatus::kRefused:
      if (r.line == 0 || r.warning.empty() || !r.image.empty()) std::abort();
      break;
    case HexStatus::kAbandoned:
      if (!r.image.empty() || !r.warning.empty()) std::abort();
      break;
  }
  return 0;
}
