#include "device_model.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace taktm::devsim {
namespace {

using Bytes = std::vector<uint8_t>;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

constexpr uint8_t kDemo1K = 0, kDemo4K = 1, kDemo8K = 2, kDemo128K = 3;

Bytes Command(uint8_t opcode, uint32_t address, const Bytes& data) {
  Bytes c = {opcode};
  for (int i = 0; i < 4; ++i)
    c.push_back(static_cast<uint8_t>(address >> (8 * i)));
  c.push_back(static_cast<uint8_t>(data.size()));
  c.insert(c.end(), data.begin(), data.end());
  return c;
}

Bytes Read(uint8_t opcode, uint32_t address, uint8_t count) {
  Bytes c = Command(opcode, address, {});
  c[5] = count;
  return c;
}

// A text reply field: length byte, then the Windows-1251 bytes.
Bytes Text(const std::string& cp1251) {
  Bytes t = {static_cast<uint8_t>(cp1251.size())};
  t.insert(t.end(), cp1251.begin(), cp1251.end());
  return t;
}

Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class DeviceModelTest : public ::testing::Test {
 protected:
  explicit DeviceModelTest(ModelOptions options = {})
      : model_(BuiltInCatalogue(), options) {}
  Bytes Send(const Bytes& command) {
    return model_.HandleCommand(command.data(), command.size());
  }
  Bytes Select(uint8_t chip) { return Send({0xF9, chip}); }
  uint8_t Verdict(uint8_t opcode, uint32_t address, const Bytes& data) {
    const Bytes reply = Send(Command(opcode, address, data));
    return reply.size() == 7 ? reply[6] : 0xEE;
  }
  Bytes Memory(MemoryKind kind, uint8_t chip) {
    return model_.chip_state(chip).Of(kind);
  }

  DeviceModel model_;
};

TEST_F(DeviceModelTest, DiscoveryRepliesCarryEveryListedByte) {
  // "ТАКТ-М (виртуальный)" and the chip names, byte for byte in Windows-1251.
  const std::string name =
      "\xD2\xC0\xCA\xD2-\xCC (\xE2\xE8\xF0\xF2\xF3\xE0\xEB\xFC\xED\xFB\xE9)";
  const std::vector<std::tuple<Bytes, Bytes>> cases = {
      {{0xFF}, {0xFF}},
      {{0xFE}, Cat({0xFE}, Text(name))},
      {{0xFD}, {0xFD, 3}},
      {{0xFC, 2}, Cat({0xFC, 2}, Text("takt-m-devsim 0.1"))},
      {{0xFC, 9}, {0xFC, 9, 0}},  // no such line: empty text
      {{0xFB}, {0xFB, 4}},
      {{0xFA, 0}, Cat({0xFA}, Text("DEMO-1K"))},
      {{0xFA, 3}, Cat({0xFA}, Text("DEMO-128K"))},
      {{0xFA, 4}, {0xFA, 0}},
  };
  for (const auto& [command, reply] : cases) {
    EXPECT_EQ(Send(command), reply) << "command " << int{command[0]};
  }
  // The about lines start with a Russian one.
  const Bytes line0 = Send({0xFC, 0});
  ASSERT_GE(line0.size(), 4u);
  EXPECT_EQ(line0[3], 0xC2);  // "В"
}

TEST_F(DeviceModelTest, SelectedChipAnswersItsOwnDescription) {
  EXPECT_EQ(Select(kDemo8K), Bytes{0xF9});
  // Operations 0, 3-7, 9-15 and 20.
  EXPECT_EQ(Send({0xF8}), (Bytes{0xF8, 0xF9, 0xFE, 0x10, 0x00}));
  EXPECT_EQ(Send({0xF3}), (Bytes{0xF3, 0x00, 0x20, 0x00, 0x00}));
  EXPECT_EQ(Send({0xF2}), (Bytes{0xF2, 0x00, 0x02, 0x00, 0x00}));
  EXPECT_EQ(Send({0xF1}), (Bytes{0xF1, 64, 0, 0, 0}));
  EXPECT_EQ(Send({0xF5}), (Bytes{0xF5, 2}));
  EXPECT_EQ(Send({0xF7}), (Bytes{0xF7, 6}));
  EXPECT_EQ(Send({0xF6, 0}), Cat({0xF6, 0}, Text("CLK0")));
  EXPECT_EQ(Send({0xF4, 7}), (Bytes{0xF4, 7, 0}));
  EXPECT_EQ(Send({0x00}), (Bytes{0x00, 3, 0x5A, 0x08, 0x03, 1}));
  EXPECT_EQ(Send({0x14}), (Bytes{0x14, 4, 0x9E, 0x9F, 0xA0, 0xA1}));
  EXPECT_EQ(Send({0x03}), (Bytes{0x03, 6, 1, 0, 0, 1, 0, 1}));
  EXPECT_EQ(Send({0x05}), (Bytes{0x05, 2, 0, 0}));

  Select(kDemo128K);  // the selection applies to what follows
  EXPECT_EQ(Send({0xF3}), (Bytes{0xF3, 0x00, 0x00, 0x02, 0x00}));
  Select(kDemo1K);
  EXPECT_EQ(Send({0xF5}), (Bytes{0xF5, 0}));
  EXPECT_EQ(Send({0xF7}), (Bytes{0xF7, 0}));
  EXPECT_EQ(Send({0x03}), (Bytes{0x03, 0}));  // no fuse operations either
}

TEST_F(DeviceModelTest, NoChipSelectedReportsNothingAndChangesNothing) {
  for (uint8_t index : {uint8_t{0xFF}, uint8_t{4}}) {
    Select(index);
    EXPECT_EQ(model_.selected_chip(), -1);
    EXPECT_EQ(Send({0xF8}), (Bytes{0xF8, 0, 0, 0, 0}));
    EXPECT_EQ(Send({0xF3}), (Bytes{0xF3, 0, 0, 0, 0}));
    EXPECT_EQ(Send({0xF5}), (Bytes{0xF5, 0}));
    EXPECT_EQ(Send({0x00}), (Bytes{0x00, 0, 0}));  // no signature, verdict 0
    EXPECT_EQ(Send(Read(0x09, 0, 16)), (Bytes{0x09, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Verdict(0x0B, 0, {0xFF}), 0);
    EXPECT_EQ(Send(Command(0x0A, 0, {0x00})), Bytes{0x0A});
  }
  EXPECT_THAT(Memory(MemoryKind::kFlash, kDemo1K), ::testing::Each(0xFF));
}

TEST_F(DeviceModelTest, ProgramMemoryWritesOnlyClearBitsUntilErased) {
  Select(kDemo8K);
  EXPECT_EQ(Send(Command(0x0A, 0x100, {0xF0, 0x0F, 0x55})), Bytes{0x0A});
  EXPECT_EQ(Verdict(0x0B, 0x100, {0xF0, 0x0F, 0x55}), 1);
  // The same write again (a retried command) changes nothing.
  Send(Command(0x0A, 0x100, {0xF0, 0x0F, 0x55}));
  EXPECT_EQ(Verdict(0x0B, 0x100, {0xF0, 0x0F, 0x55}), 1);
  // Other data without an erase: old zeros stay, verification fails.
  Send(Command(0x0A, 0x100, {0x0F, 0xFF, 0x54}));
  EXPECT_EQ(Send(Read(0x09, 0x100, 3)),
            (Bytes{0x09, 0x00, 0x01, 0, 0, 3, 0x00, 0x0F, 0x54}));
  EXPECT_EQ(Verdict(0x0B, 0x100, {0x0F, 0xFF, 0x54}), 0);
  // After an erase the same write lands whole.
  EXPECT_EQ(Send({0x07}), Bytes{0x07});
  Send(Command(0x0A, 0x100, {0x0F, 0xFF, 0x54}));
  EXPECT_EQ(Verdict(0x0B, 0x100, {0x0F, 0xFF, 0x54}), 1);
  EXPECT_EQ(Verdict(0x0B, 0x0FF, {0xFF, 0x0F}), 1);
}

class DeviceModelNoEraseRuleTest : public DeviceModelTest {
 protected:
  DeviceModelNoEraseRuleTest() : DeviceModelTest(ModelOptions{false, false}) {}
};

TEST_F(DeviceModelNoEraseRuleTest, ProgramMemoryWritesReplaceBytes) {
  Select(kDemo4K);
  Send(Command(0x0A, 0, {0x00, 0x12}));
  Send(Command(0x0A, 0, {0xFF, 0x34}));
  EXPECT_EQ(Verdict(0x0B, 0, {0xFF, 0x34}), 1);
}

TEST_F(DeviceModelTest, EepromWritesReplaceAndEraseSetsFF) {
  Select(kDemo8K);
  Send(Command(0x0E, 510, {0x00, 0x11}));
  Send(Command(0x0E, 510, {0x22, 0x33}));
  EXPECT_EQ(Send(Read(0x0D, 509, 3)),
            (Bytes{0x0D, 0xFD, 0x01, 0, 0, 3, 0xFF, 0x22, 0x33}));
  EXPECT_EQ(Verdict(0x0F, 510, {0x22, 0x33}), 1);
  EXPECT_EQ(Verdict(0x0F, 510, {0x22, 0x34}), 0);
  EXPECT_EQ(Send({0x0C}), Bytes{0x0C});
  EXPECT_THAT(Memory(MemoryKind::kEeprom, kDemo8K), ::testing::Each(0xFF));
  EXPECT_EQ(Memory(MemoryKind::kEeprom, kDemo8K).size(), 512u);
}

TEST_F(DeviceModelTest, AccessPastTheEndIsBounded) {
  Select(kDemo1K);
  // A read across the end carries only the bytes that exist.
  EXPECT_EQ(Send(Read(0x09, 990, 224)).size(), 6u + 10u);
  EXPECT_EQ(Send(Read(0x09, 990, 224))[5], 10);
  EXPECT_EQ(Send(Read(0x09, 5000, 8)), (Bytes{0x09, 0x88, 0x13, 0, 0, 0}));
  // Never more than a frame can carry.
  Select(kDemo8K);
  EXPECT_EQ(Send(Read(0x09, 0, 255))[5], 249);
  // A write across the end keeps what fits; a verify across it fails.
  Select(kDemo1K);
  Send(Command(0x0A, 998, {0x01, 0x02, 0x03, 0x04}));
  EXPECT_EQ(Send(Read(0x09, 998, 2)), (Bytes{0x09, 0xE6, 0x03, 0, 0, 2, 1, 2}));
  EXPECT_EQ(Verdict(0x0B, 998, {0x01, 0x02}), 1);
  EXPECT_EQ(Verdict(0x0B, 998, {0x01, 0x02, 0x03}), 0);
  EXPECT_EQ(Verdict(0x0B, 0xFFFFFFFF, {0xFF}), 0);
  // A verify whose count promises more data than it carries fails.
  Bytes short_verify = Command(0x0B, 0, {0xFF, 0xFF});
  short_verify[5] = 3;
  EXPECT_EQ(Send(short_verify), (Bytes{0x0B, 0, 0, 0, 0, 3, 0}));
}

// A device with a smaller read buffer, and a chip with 255 fuse bits: its
// count is given whole, a read of the states carries the first 253.
TEST(DeviceModelLimitsTest, SmallReadsAndTheMostBits) {
  ModelOptions options;
  options.max_read_count = 100;
  Catalogue catalogue;
  ChipSpec chip;
  chip.name = "BITS";
  chip.flash_size = 1024;
  chip.signature = {1};
  chip.operations = (1u << 3) | (1u << 9);
  for (int i = 0; i < 255; ++i) chip.fuses.push_back({"F", 1});
  catalogue.chips.push_back(chip);
  std::string error;
  ASSERT_TRUE(ValidateCatalogue(catalogue, error)) << error;
  DeviceModel model(catalogue, options);
  const auto send = [&](const Bytes& c) {
    return model.HandleCommand(c.data(), c.size());
  };
  send({0xF9, 0});
  EXPECT_EQ(send(Read(0x09, 0, 224))[5], 100);
  EXPECT_EQ(send(Read(0x09, 1000, 224))[5], 24);
  EXPECT_EQ(send({0xF7}), (Bytes{0xF7, 255}));
  const Bytes states = send({0x03});
  ASSERT_EQ(states.size(), 255u);
  EXPECT_EQ(states[1], 253);
  catalogue.chips[0].fuses.push_back({"F", 0});
  EXPECT_FALSE(ValidateCatalogue(catalogue, error));
}

TEST_F(DeviceModelTest, OperationsTheChipLacksChangeNothing) {
  Select(kDemo4K);  // no erase
  Send(Command(0x0A, 0, {0x00}));
  Send({0x07});
  EXPECT_EQ(Memory(MemoryKind::kFlash, kDemo4K)[0], 0x00);
  // So a later write that must set bits fails verification.
  Send(Command(0x0A, 0, {0x80}));
  EXPECT_EQ(Verdict(0x0B, 0, {0x80}), 0);

  Select(kDemo128K);  // no verify: never a good verdict
  EXPECT_EQ(Verdict(0x0B, 0, {0xFF}), 0);
  EXPECT_EQ(Verdict(0x0F, 0, {0xFF}), 1);  // EEPROM verify is allowed
}

TEST_F(DeviceModelTest, BitsAreKeptPerChipAndLocksOnlySet) {
  Select(kDemo8K);
  EXPECT_EQ(Send({0x04, 1, 1}), Bytes{0x04});
  Send({0x04, 0, 0});
  Send({0x04, 6, 1});  // no such fuse: ignored
  EXPECT_EQ(Send({0x03}), (Bytes{0x03, 6, 0, 1, 0, 1, 0, 1}));
  EXPECT_EQ(Send({0x06, 1}), Bytes{0x06});
  Send({0x06, 1});
  EXPECT_EQ(Send({0x05}), (Bytes{0x05, 2, 0, 1}));
  Select(kDemo128K);
  EXPECT_EQ(Send({0x05}), (Bytes{0x05, 4, 0, 0, 0, 0}));
  // Erasing the whole chip clears its locks, not its fuses.
  Select(kDemo8K);
  Send({0x07});
  EXPECT_EQ(Send({0x05}), (Bytes{0x05, 2, 0, 0}));
  EXPECT_EQ(Send({0x03}), (Bytes{0x03, 6, 0, 1, 0, 1, 0, 1}));
}

TEST_F(DeviceModelTest, ShortCommandsAreAnsweredWithTheirFields) {
  Select(kDemo8K);
  EXPECT_EQ(Send({0x09}), (Bytes{0x09, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Send({0xF9}), Bytes{0xF9});  // index 0 selected
  EXPECT_EQ(model_.selected_chip(), 0);
  for (uint8_t op : {0x01, 0x02, 0x10, 0x13, 0x42, 0xFF}) {
    EXPECT_EQ(Send({op}), Bytes{op});
  }
  EXPECT_TRUE(Send({}).empty());
}

class DeviceModelWrongSignatureTest : public DeviceModelTest {
 protected:
  DeviceModelWrongSignatureTest() : DeviceModelTest(ModelOptions{true, true}) {}
};

TEST_F(DeviceModelWrongSignatureTest, SignatureIsJudgedByComparison) {
  Select(kDemo8K);
  EXPECT_EQ(Send({0x00}), (Bytes{0x00, 3, 0x5A, 0x08, 0xFC, 0}));
}

class RecordingObserver : public MemoryObserver {
 public:
  void MemoryChanged(size_t chip, MemoryKind kind, uint32_t offset,
                     uint32_t count) override {
    changes.emplace_back(chip, kind, offset, count);
  }
  std::vector<std::tuple<size_t, MemoryKind, uint32_t, uint32_t>> changes;
};

TEST_F(DeviceModelTest, ObserverHearsEveryChangedRange) {
  RecordingObserver observer;
  model_.set_observer(&observer);
  Select(kDemo1K);
  Send(Command(0x0A, 996, {1, 2, 3, 4, 5, 6}));
  Send({0x0C});
  Send(Read(0x09, 0, 4));  // reads change nothing
  Select(kDemo8K);
  Send({0x04, 2, 1});
  Send({0x06, 0});
  using T = std::tuple<size_t, MemoryKind, uint32_t, uint32_t>;
  EXPECT_THAT(observer.changes, ElementsAre(T{0, MemoryKind::kFlash, 996, 4},
                                            T{0, MemoryKind::kEeprom, 0, 64},
                                            T{2, MemoryKind::kFuses, 2, 1},
                                            T{2, MemoryKind::kLocks, 0, 1}));
}

}  // namespace
}  // namespace taktm::devsim
