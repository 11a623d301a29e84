// Memory operations end to end: reads into the buffer, a HEX image written
// and verified on a 128 KiB chip, a wrong signature, a write without erase,
// an EEPROM write larger than the memory. The chip's memory is checked in
// the emulator's memory files, the commands in its frame log.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdlib>

#include "e2e/e2e_fixture.h"
#include "harness/verifiable_catalogue.h"
#include "programming/opcodes.h"
#include "programming/programming_texts.h"

namespace taktm::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using ::testing::Not;

constexpr int kDemo8K = 2;
constexpr uint32_t kChunk = 224;

// The data commands of `opcode` over the image's first `limit` bytes, as
// the log shows them.
std::vector<std::string> DataChunks(uint8_t opcode, const Bytes& image,
                                    uint32_t limit) {
  std::vector<std::string> commands;
  for (uint32_t a = 0; a < limit; a += kChunk) {
    commands.push_back(
        DataCommandText(opcode, a, image, std::min(kChunk, limit - a)));
  }
  return commands;
}

void Append(std::vector<std::string>& to,
            const std::vector<std::string>& more) {
  to.insert(to.end(), more.begin(), more.end());
}

using MemoryE2eTest = E2eTest;

TEST_F(MemoryE2eTest, ReadOfEachMemoryFillsTheBufferWithTheChip) {
  const Bytes flash = RandomBytes(8192, 1);
  const Bytes eeprom = RandomBytes(512, 2);
  ASSERT_NO_FATAL_FAILURE(MakeMemoryDir());
  WriteFile(MemoryFile("DEMO-8K.flash"), flash);
  WriteFile(MemoryFile("DEMO-8K.eeprom"), eeprom);
  Start();
  ASSERT_NO_FATAL_FAILURE(DiscoverAndSelect(4, kDemo8K));

  size_t before = LogSize();
  ASSERT_NO_FATAL_FAILURE(Run(OP_READ_FLASH));
  const std::vector<std::string> reads = ReceivedSince(before);
  ASSERT_EQ(reads.size(), 1u + 37u + 1u);
  EXPECT_EQ(reads.front(), "F9 02");
  EXPECT_EQ(reads[1], "09 00 00 00 00 E0");
  EXPECT_EQ(reads[3], "09 C0 01 00 00 E0");
  EXPECT_EQ(reads[37], "09 80 1F 00 00 80");  // 8064: the last 128 bytes
  EXPECT_EQ(reads.back(), "FF");
  EXPECT_EQ(host().core().buffer().bytes(), flash);
  EXPECT_FALSE(host().core().buffer().modified());
  EXPECT_EQ(programmer().status_text(), "");

  before = LogSize();
  ASSERT_NO_FATAL_FAILURE(Run(OP_READ_EEPROM));
  EXPECT_THAT(ReceivedSince(before),
              ElementsAre("F9 02", "0D 00 00 00 00 E0", "0D E0 00 00 00 E0",
                          "0D C0 01 00 00 40", "FF"));
  EXPECT_EQ(host().core().buffer().bytes(), eeprom);
  EXPECT_FALSE(host().core().buffer().modified());
}

// The whole 128 KiB chip from an Intel HEX working file with every option
// on: signature, erase, signature, every chunk written, every chunk
// verified, then every lock bit set.
TEST_F(MemoryE2eTest, HexImageIsWrittenAndVerifiedOnThe128KChip) {
  const Bytes image = RandomBytes(kBigFlashSize, 3);
  WriteFile(dir_.File("image.bin"), image);
  const std::string hex = dir_.File("image.hex");
  const std::string objcopy = std::string(TAKT_OBJCOPY) +
                              " -I binary -O ihex '" + dir_.File("image.bin") +
                              "' '" + hex + "'";
  ASSERT_EQ(std::system(objcopy.c_str()), 0) << objcopy;
  ASSERT_TRUE(WriteVerifiableCatalogue(dir_.File("chips.txt")));
  Start({"--chips", dir_.File("chips.txt")});
  ASSERT_NO_FATAL_FAILURE(DiscoverAndSelect(1, 0));
  ASSERT_EQ(programmer().FlashSize(), kBigFlashSize);
  host().core().working_file().SetWorkingFile(hex);

  const size_t before = LogSize();
  ASSERT_NO_FATAL_FAILURE(Run(OP_WRITE_FLASH, kLongWaitMs));

  std::vector<std::string> expected = {"F9 00", "00", "07", "00"};
  Append(expected, DataChunks(OP_WRITE_FLASH, image, kBigFlashSize));
  expected.push_back("FF");
  Append(expected, DataChunks(OP_VERIFY_FLASH, image, kBigFlashSize));
  Append(expected, {"FF", "06 00", "06 01", "06 02", "06 03", "FF"});
  const std::vector<std::string> sent = ReceivedSince(before);
  ASSERT_EQ(sent.size(), expected.size());
  EXPECT_TRUE(sent == expected) << "the write sequence differs";

  EXPECT_EQ(host().core().buffer().bytes(), image);  // the HEX file reloaded
  EXPECT_TRUE(ReadBytes(MemoryFile("DEMO-128K.flash")) == image);
  EXPECT_EQ(ReadBytes(MemoryFile("DEMO-128K.locks")), Bytes(kBigLockBits, 1));
  EXPECT_EQ(programmer().status_text(), kAllRight);
  EXPECT_FALSE(programmer().status_error());
  // Claimed once, when the verify run had ended.
  EXPECT_EQ(std::count(host().status_history().begin(),
                       host().status_history().end(), kAllRight),
            1);
  EXPECT_THAT(host().warnings(), IsEmpty());
}

// The wrong chip in the socket: the first signature fails and nothing after
// it is sent, so the chip is neither erased nor written.
TEST_F(MemoryE2eTest, WrongSignatureStopsTheWriteBeforeTheErase) {
  WriteFile(dir_.File("image.bin"), RandomBytes(1000, 4));
  Start({"--wrong-signature"});
  ASSERT_NO_FATAL_FAILURE(DiscoverAndSelect(4, kDemo8K));
  host().core().working_file().SetWorkingFile(dir_.File("image.bin"));

  const size_t before = LogSize();
  ASSERT_NO_FATAL_FAILURE(Run(OP_WRITE_FLASH));

  EXPECT_THAT(ReceivedSince(before), ElementsAre("F9 02", "00"));
  EXPECT_EQ(programmer().status_text(), "Сигнатура: 5A 8 FC не верна!");
  EXPECT_TRUE(programmer().status_error());
  EXPECT_FALSE(programmer().SignatureOk());
  EXPECT_TRUE(host().queue().empty());
  EXPECT_EQ(ReadBytes(MemoryFile("DEMO-8K.flash")), Bytes(8192, 0xFF));
  EXPECT_THAT(host().status_history(), Not(Contains(kAllRight)));
}

// Without the erase, a chip full of zeros keeps its zeros: the verify fails
// at the first chunk whose image has a bit set, and everything after it is
// dropped.
TEST_F(MemoryE2eTest, WriteWithoutEraseFailsVerifyAtTheFirstDifferentChunk) {
  ASSERT_NO_FATAL_FAILURE(MakeMemoryDir());
  WriteFile(MemoryFile("DEMO-8K.flash"), Bytes(8192, 0x00));
  Bytes image = RandomBytes(2000, 5);
  std::fill(image.begin(), image.begin() + 3 * kChunk, 0x00);
  WriteFile(dir_.File("image.bin"), image);
  Start();
  ASSERT_NO_FATAL_FAILURE(DiscoverAndSelect(4, kDemo8K));
  host().core().working_file().SetWorkingFile(dir_.File("image.bin"));
  host().SetCheck(2, false);  // "стирать все" off

  const size_t before = LogSize();
  ASSERT_NO_FATAL_FAILURE(Run(OP_WRITE_FLASH));

  std::vector<std::string> expected = {"F9 02", "00", "00"};
  Append(expected, DataChunks(OP_WRITE_FLASH, image, 2000));
  expected.push_back("FF");
  const std::vector<std::string> verify =
      DataChunks(OP_VERIFY_FLASH, image, 2000);
  Append(expected, {verify.begin(), verify.begin() + 4});  // up to 672
  expected.push_back("09 A0 02 00 00 E0");  // that chunk read back
  EXPECT_THAT(ReceivedSince(before), ElementsAreArray(expected));
  EXPECT_EQ(programmer().status_text(),
            "Ошибка по адресу 2A0. Попробуйте программировать снова!");
  EXPECT_TRUE(programmer().status_error());
  EXPECT_TRUE(host().queue().empty());
  // Every difference is a bit the image has and the old zeros hide.
  uint32_t bytes = 0;
  uint32_t bits = 0;
  for (uint32_t a = 3 * kChunk; a < 4 * kChunk; ++a) {
    bytes += image[a] != 0;
    bits += static_cast<uint32_t>(std::popcount(image[a]));
  }
  ASSERT_TRUE(programmer().last_mismatch());
  const MismatchDetails& details = *programmer().last_mismatch();
  EXPECT_EQ(details.read_back, kChunk);
  EXPECT_EQ(details.differing_bytes, bytes);
  EXPECT_EQ(details.bits_cleared, bits);
  EXPECT_EQ(details.bits_set, 0u);
  EXPECT_EQ(ReadBytes(MemoryFile("DEMO-8K.flash")), Bytes(8192, 0x00));
  EXPECT_EQ(ReadBytes(MemoryFile("DEMO-8K.locks")), Bytes(2, 0));
  EXPECT_THAT(host().status_history(), Not(Contains(kAllRight)));
}

// An EEPROM image larger than the memory: one warning, then only what fits
// is erased, written and verified.
TEST_F(MemoryE2eTest, EepromWriteKeepsWhatFitsAndVerifies) {
  const Bytes image = RandomBytes(600, 6);
  WriteFile(dir_.File("image.bin"), image);
  Start();
  ASSERT_NO_FATAL_FAILURE(DiscoverAndSelect(4, kDemo8K));
  host().core().working_file().SetWorkingFile(dir_.File("image.bin"));

  const size_t before = LogSize();
  ASSERT_NO_FATAL_FAILURE(Run(OP_WRITE_EEPROM));

  std::vector<std::string> expected = {"F9 02", "00", "0C"};
  Append(expected, DataChunks(OP_WRITE_EEPROM, image, 512));
  expected.push_back("FF");
  Append(expected, DataChunks(OP_VERIFY_EEPROM, image, 512));
  expected.push_back("FF");
  EXPECT_THAT(ReceivedSince(before), ElementsAreArray(expected));
  EXPECT_THAT(host().warnings(), ElementsAre(kImageTooLarge));
  EXPECT_EQ(ReadBytes(MemoryFile("DEMO-8K.eeprom")),
            Bytes(image.begin(), image.begin() + 512));
  EXPECT_EQ(programmer().status_text(), kAllRight);
  EXPECT_FALSE(programmer().status_error());
}

}  // namespace
}  // namespace taktm::testing
