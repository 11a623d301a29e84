#include "link/memory_command.h"

#include <gtest/gtest.h>

#include <vector>

namespace taktm {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(MemoryCommandTest, LayoutIsOpcodeAddressLeastSignificantFirstCountData) {
  const Bytes data = {0xAA, 0xBB};
  EXPECT_EQ(EncodeMemoryCommand(0x0B, 0x12345678, 2, data.data(), data.size()),
            (Bytes{0x0B, 0x78, 0x56, 0x34, 0x12, 2, 0xAA, 0xBB}));
  // A read carries no data; its count is what it asks for.
  EXPECT_EQ(EncodeMemoryCommand(0x09, 0x1C0, 224),
            (Bytes{0x09, 0xC0, 0x01, 0, 0, 224}));
}

TEST(MemoryCommandTest, RoundTripAtTheEndsOfTheAddressesAndCounts) {
  for (const uint32_t address :
       {0u, 1u, 0xFFu, 0x100u, 0x12345678u, 0x80000000u, 0xFFFFFFFFu}) {
    for (const int count : {0, 1, 128, 255}) {
      const Bytes data(static_cast<size_t>(count), 0x5A);
      const Bytes command = EncodeMemoryCommand(
          0x0E, address, static_cast<uint8_t>(count), data.data(), data.size());
      const auto decoded = DecodeMemoryCommand(command);
      ASSERT_TRUE(decoded);
      EXPECT_EQ(decoded->opcode, 0x0E);
      EXPECT_EQ(decoded->address, address);
      EXPECT_EQ(decoded->count, count);
      EXPECT_EQ(decoded->data_size, data.size());
      EXPECT_EQ(ReadLe32(&command[kMemoryAddressAt]), address);
    }
  }
}

TEST(MemoryCommandTest, ShorterThanAHeaderIsNoMemoryCommand) {
  for (size_t n = 0; n < kMemoryDataAt; ++n) {
    EXPECT_FALSE(DecodeMemoryCommand(Bytes(n, 0x09))) << n;
  }
}

TEST(MemoryCommandTest, HexIsUpperCaseWithoutLeadingZeros) {
  EXPECT_EQ(Hex(0), "0");
  EXPECT_EQ(Hex(0x1C0), "1C0");
  EXPECT_EQ(Hex(0xFFFFFFFF), "FFFFFFFF");
  EXPECT_EQ(Hex(0x100000000ull), "100000000");  // a range's end past 32 bits
}

}  // namespace
}  // namespace taktm
