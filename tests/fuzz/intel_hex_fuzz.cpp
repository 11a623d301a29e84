// libFuzzer target for the Intel HEX reader: any input either gives an image
// below the buffer limit, a refusal naming a line, or an abandoned load; an
// image written back as HEX reads back the same; and while the reader runs
// no single allocation is larger than the image limit allows (twice the
// limit: a growing vector may double its capacity once near the limit).
#include <sanitizer/allocator_interface.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "buffer/data_buffer.h"
#include "buffer/intel_hex.h"
#include "harness/hex_records.h"

namespace {

bool g_watching = false;
size_t g_largest = 0;

// Sees every allocation (the sanitizer's allocator calls it).
void OnAllocation(const volatile void*, size_t n) {
  if (g_watching && n > g_largest) g_largest = n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace taktm;
  static const int installed =
      __sanitizer_install_malloc_and_free_hooks(OnAllocation, nullptr);
  (void)installed;
  g_largest = 0;
  g_watching = true;
  const IntelHexResult r =
      ReadIntelHex(std::string_view(reinterpret_cast<const char*>(data), size));
  g_watching = false;
  if (g_largest > 2 * kBufferLimit) std::abort();

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
