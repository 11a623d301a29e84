#include "buffer/intel_hex_writer.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "buffer/intel_hex.h"

namespace taktm {
namespace {

TEST(IntelHexWriterTest, RecordsOfSixteenBytesWithChecksums) {
  std::vector<uint8_t> image(20);
  std::iota(image.begin(), image.end(), uint8_t{0});
  EXPECT_EQ(WriteIntelHex(image.data(), image.size()),
            ":10000000000102030405060708090A0B0C0D0E0F78\r\n"
            ":0400100010111213A6\r\n"
            ":00000001FF\r\n");
  EXPECT_EQ(WriteIntelHex(nullptr, 0), ":00000001FF\r\n");
}

TEST(IntelHexWriterTest, PagesAbove64KiBGetExtendedLinearAddresses) {
  std::vector<uint8_t> image(0x20010, 0xA5);
  const std::string text = WriteIntelHex(image.data(), image.size());
  EXPECT_EQ(text.find(":020000040000"), std::string::npos);
  const size_t page1 = text.find(":020000040001F9\r\n");
  const size_t page2 = text.find(":020000040002F8\r\n");
  ASSERT_NE(page1, std::string::npos);
  ASSERT_NE(page2, std::string::npos);
  // The last record of page 0 comes right before the first type 4 record.
  EXPECT_EQ(text.rfind(":10FFF000", page1), page1 - 45);
  EXPECT_EQ(text.substr(page1 + 17, 9), ":10000000");
}

// Whatever the image, our own reader gives it back byte for byte.
TEST(IntelHexWriterTest, ReadsBackThroughTheProgramsReader) {
  for (size_t size : {1u, 15u, 16u, 17u, 65535u, 65536u, 65537u, 131072u}) {
    std::vector<uint8_t> image(size);
    uint32_t x = static_cast<uint32_t>(size);
    for (uint8_t& b : image)
      b = static_cast<uint8_t>((x = x * 69069 + 1) >> 24);
    const IntelHexResult back =
        ReadIntelHex(WriteIntelHex(image.data(), image.size()));
    ASSERT_EQ(back.status, HexStatus::kImage) << size << ": " << back.warning;
    EXPECT_EQ(back.image, image) << size;
  }
}

}  // namespace
}  // namespace taktm
