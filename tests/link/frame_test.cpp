#include "link/frame.h"

#include <gtest/gtest.h>

#include <vector>

namespace taktm {
namespace {

std::vector<uint8_t> Laid(std::vector<uint8_t> payload) {
  TransmitFrame frame;
  LayOutFrame(payload.data(), static_cast<uint8_t>(payload.size()), frame);
  return {frame.bytes.begin(), frame.bytes.begin() + frame.size};
}

TEST(FrameTest, WorkedExamplesAreLaidOutByteForByte) {
  EXPECT_EQ(Laid({}),
            (std::vector<uint8_t>{0xD1, 0xE0, 0xEB, 0xEE, 0x00, 0x8A, 0x00}));
  EXPECT_EQ(Laid({0xFF}), (std::vector<uint8_t>{0xD1, 0xE0, 0xEB, 0xEE, 0x01,
                                                0x8B, 0xFF, 0xFF}));
  EXPECT_EQ(Laid({0xFC, 0x03}),
            (std::vector<uint8_t>{0xD1, 0xE0, 0xEB, 0xEE, 0x02, 0x8C, 0xFC,
                                  0x03, 0xFF}));
}

TEST(FrameTest, LargestFrameHasWrappingSums) {
  std::vector<uint8_t> payload(255, 0xFF);
  std::vector<uint8_t> f = Laid(payload);
  ASSERT_EQ(f.size(), 262u);
  EXPECT_EQ(f[4], 255);
  EXPECT_EQ(f[5], static_cast<uint8_t>(0x8A + 255));
  EXPECT_EQ(f[261], static_cast<uint8_t>(255 * 0xFF));
}

}  // namespace
}  // namespace taktm
