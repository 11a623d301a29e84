// libFuzzer target for the ELF reader: any input gives an image that ends
// below the 16 MiB address limit, or a refusal with a reason and no image;
// and no allocation reaches past what that limit allows.
#include <sanitizer/allocator_interface.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "buffer/elf_reader.h"
#include "buffer/image_format.h"

namespace {

bool g_watching = false;
size_t g_largest = 0;

void OnAllocation(const volatile void*, size_t n) {
  if (g_watching && n > g_largest) g_largest = n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace taktm;
  static const int installed =
      __sanitizer_install_malloc_and_free_hooks(OnAllocation, nullptr);
  (void)installed;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  g_largest = 0;
  g_watching = true;
  const ImageResult r = ReadElf(bytes);
  g_watching = false;
  if (g_largest > 2 * kElfAddressLimit) std::abort();
  switch (r.status) {
    case ImageStatus::kImage:
      if (r.image.empty() || r.image.size() > kElfAddressLimit) std::abort();
      if (FormatOfContent(bytes) != ImageFormat::kElf) std::abort();
      break;
    case ImageStatus::kRefused:
      if (r.warning.empty() || !r.image.empty()) std::abort();
      break;
    case ImageStatus::kAbandoned:
      std::abort();
  }
  return 0;
}
