#include "cli/serial_stamp.h"

#include <gtest/gtest.h>

#include "link/memory_command.h"
#include "programming/opcodes.h"
#include "support/fake_link_host.h"

namespace taktm {
namespace {

using Bytes = std::vector<uint8_t>;

// A write or verify command: opcode, address, count, `n` data bytes.
Bytes Data(uint8_t opcode, uint32_t address, size_t n, uint8_t fill) {
  const Bytes data(n, fill);
  return EncodeMemoryCommand(opcode, address, static_cast<uint8_t>(n),
                             data.data(), n);
}

TEST(SerialStampTest, EncodingsAndWhatFits) {
  EXPECT_EQ(EncodeSerial(0x01020304, 4, SerialFormat::kBinary),
            (Bytes{4, 3, 2, 1}));
  EXPECT_EQ(EncodeSerial(1000, 6, SerialFormat::kDecimal),
            (Bytes{'0', '0', '1', '0', '0', '0'}));
  EXPECT_EQ(EncodeSerial(255, 1, SerialFormat::kBinary), (Bytes{0xFF}));
  EXPECT_FALSE(EncodeSerial(256, 1, SerialFormat::kBinary));
  EXPECT_FALSE(EncodeSerial(10000, 4, SerialFormat::kDecimal));
  EXPECT_EQ(EncodeSerial(UINT64_MAX, 8, SerialFormat::kBinary), Bytes(8, 0xFF));
  EXPECT_EQ(EncodeSerial(UINT64_MAX, 20, SerialFormat::kDecimal),
            (Bytes{'1', '8', '4', '4', '6', '7', '4', '4', '0', '7',
                   '3', '7', '0', '9', '5', '5', '1', '6', '1', '5'}));
  EXPECT_EQ(MaxSerialValue(2, SerialFormat::kBinary), 0xFFFFu);
  EXPECT_EQ(MaxSerialValue(4, SerialFormat::kDecimal), 9999u);
  EXPECT_EQ(MaxSerialValue(8, SerialFormat::kBinary), UINT64_MAX);
  EXPECT_EQ(MaxSerialValue(20, SerialFormat::kDecimal), UINT64_MAX);
}

TEST(SerialStampTest, CounterText) {
  EXPECT_EQ(ParseCounterText("1000\n"), 1000u);
  EXPECT_EQ(ParseCounterText("  42 \r\n"), 42u);
  EXPECT_EQ(ParseCounterText("18446744073709551615"), UINT64_MAX);
  for (const char* bad :
       {"", "\n", "-1", "12a", "1 2", "0x10", "18446744073709551616", "+5"}) {
    EXPECT_FALSE(ParseCounterText(bad)) << bad;
  }
}

// A place that straddles two chunks: both writes and the verify of the
// first get their part, other memories and commands stay as they were.
TEST(SerialStampTest, StampsEveryCommandCarryingThePlace) {
  const SerialPlace place{222, 4, OP_WRITE_FLASH, OP_VERIFY_FLASH};
  const Bytes serial = {1, 2, 3, 4};
  const Bytes first = Data(OP_WRITE_FLASH, 0, 224, 0xAA);
  const Bytes second = Data(OP_WRITE_FLASH, 224, 224, 0xAA);
  const Bytes far = Data(OP_WRITE_FLASH, 448, 224, 0xAA);
  const Bytes verify = Data(OP_VERIFY_FLASH, 0, 224, 0xAA);
  const Bytes eeprom = Data(OP_WRITE_EEPROM, 0, 224, 0xAA);
  const Bytes read = {OP_READ_FLASH, 0, 0, 0, 0, 224};

  EXPECT_TRUE(WritesSerial(first, place) && WritesSerial(second, place));
  EXPECT_FALSE(WritesSerial(verify, place));
  EXPECT_TRUE(CarriesSerial(verify, place));
  for (const Bytes& c : {far, eeprom, read}) {
    EXPECT_FALSE(CarriesSerial(c, place));
    EXPECT_EQ(StampCommand(c, place, serial), c);
  }
  Bytes want = first;
  want[6 + 222] = 1;
  want[6 + 223] = 2;
  EXPECT_EQ(StampCommand(first, place, serial), want);
  want = second;
  want[6] = 3;
  want[7] = 4;
  EXPECT_EQ(StampCommand(second, place, serial), want);
  want = verify;
  want[6 + 222] = 1;
  want[6 + 223] = 2;
  EXPECT_EQ(StampCommand(verify, place, serial), want);

  // The chip gets the whole number only when writes cover every byte.
  EXPECT_TRUE(WritesCoverSerial({first, second, verify}, place));
  EXPECT_FALSE(WritesCoverSerial({first, verify}, place));
  EXPECT_FALSE(
      WritesCoverSerial({verify, Data(OP_VERIFY_FLASH, 224, 224, 0)}, place));
  // A last chunk cut short at the image's end holds fewer bytes.
  EXPECT_FALSE(
      WritesCoverSerial({first, Data(OP_WRITE_FLASH, 224, 1, 0)}, place));
}

// The number is taken once, only when a command carrying it is about to go
// out, and lands in every queued command that carries it; a failed take
// clears the queue before anything carrying a number it does not own leaves.
TEST(SerialStamperTest, TakesTheNumberAsItsFirstCommandGoesOut) {
  testing::FakeLinkHost host;
  CommandQueue queue(host);
  const SerialPlace place{0x10, 2, OP_WRITE_FLASH, OP_VERIFY_FLASH};
  int takes = 0;
  SerialStamper stamper(place, [&]() -> std::optional<Bytes> {
    ++takes;
    return Bytes{0x34, 0x12};
  });
  queue.AddListener(&stamper);
  queue.EnqueueCommand({SVC_SELECT_CHIP, 0});
  for (const Bytes& c :
       {Data(OP_WRITE_FLASH, 0x10, 2, 0), Data(OP_VERIFY_FLASH, 0x10, 2, 0)}) {
    queue.EnqueueCommand(c.data(), c.size());
  }
  queue.SendHead();  // the selection: no number yet
  EXPECT_EQ(takes, 0);
  EXPECT_FALSE(stamper.sent());
  queue.RemoveHead();
  queue.SendHead();
  queue.SendHead();  // sent again: still one number
  EXPECT_EQ(takes, 1);
  EXPECT_TRUE(stamper.sent());
  EXPECT_EQ(host.writes.back(),
            testing::Frame({OP_WRITE_FLASH, 0x10, 0, 0, 0, 2, 0x34, 0x12}));
  EXPECT_EQ(queue.entry(1),
            (Bytes{OP_VERIFY_FLASH, 0x10, 0, 0, 0, 2, 0x34, 0x12}));
  EXPECT_EQ(queue.tag(1), CommandTag::kSerial);
  queue.RemoveListener(&stamper);

  CommandQueue other(host);
  SerialStamper refused(place, [] { return std::optional<Bytes>(); });
  other.AddListener(&refused);
  const Bytes write = Data(OP_WRITE_FLASH, 0, 32, 0);
  other.EnqueueCommand(write.data(), write.size());
  const size_t writes = host.writes.size();
  other.SendHead();
  EXPECT_TRUE(other.empty());
  EXPECT_EQ(host.writes.size(), writes);
  EXPECT_FALSE(refused.sent());
  other.RemoveListener(&refused);
}

}  // namespace
}  // namespace taktm
