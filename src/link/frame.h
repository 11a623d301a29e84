// Frame format shared by both directions of the programmer link:
//   preamble D1 E0 EB EE, length L, header sum, L payload bytes, payload sum.
#ifndef TAKT_LINK_FRAME_H_
#define TAKT_LINK_FRAME_H_

#include <array>
#include <cstddef>
#include <cstdint>

namespace taktm {

inline constexpr std::array<uint8_t, 4> kPreamble = {0xD1, 0xE0, 0xEB, 0xEE};
inline constexpr size_t kFrameOverhead = 7;  // preamble, length, two sums
inline constexpr size_t kMaxPayload = 255;
inline constexpr size_t kMaxFrame = kMaxPayload + kFrameOverhead;  // 262

// 8-bit sum: bytes added modulo 256, no complement.
uint8_t Sum8(const uint8_t* bytes, size_t count);

// The record in which every outgoing frame is laid out; reused for each send.
struct TransmitFrame {
  std::array<uint8_t, kMaxFrame> bytes{};
  size_t size = 0;
};

// Lays out `payload` (length 0..255) as one frame in `frame`; returns its size,
// length + 7.
size_t LayOutFrame(const uint8_t* payload, uint8_t length,
                   TransmitFrame& frame);

}  // namespace taktm

#endif  // TAKT_LINK_FRAME_H_
