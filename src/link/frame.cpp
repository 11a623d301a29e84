#include "link/frame.h"

#include <cstring>

namespace taktm {

uint8_t Sum8(const uint8_t* bytes, size_t count) {
  uint8_t sum = 0;
  for (size_t i = 0; i < count; ++i) sum = static_cast<uint8_t>(sum + bytes[i]);
  return sum;
}

size_t LayOutFrame(const uint8_t* payload, uint8_t length,
                   TransmitFrame& frame) {
  uint8_t* out = frame.bytes.data();
  std::memcpy(out, kPreamble.data(), kPreamble.size());
  out[4] = length;
  out[5] = Sum8(out, 5);
  if (length > 0) std::memcpy(out + 6, payload, length);
  out[6 + length] = Sum8(out + 6, length);
  frame.size = static_cast<size_t>(length) + kFrameOverhead;
  return frame.size;
}

}  // namespace taktm
