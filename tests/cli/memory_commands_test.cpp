// blank-check, checksum and --range on the command line: the CRC-32 against
// known answers of zlib's polynomial, the first byte not blank, the range's
// text, and which commands take which arguments.
#include "cli/memory_commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/checksum.h"

namespace taktm::testing {
namespace {

uint32_t CrcOf(const std::string& text) {
  return Crc32(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

ParsedArgs Parse(const std::vector<std::string>& args) {
  return ParseCliArgs(args);
}

TEST(ChecksumTest, KnownAnswersOfZlibsCrc32) {
  // The check value of the reflected 0xEDB88320 CRC, and zlib.crc32 of a
  // well-known line and of nothing.
  EXPECT_EQ(CrcOf("123456789"), 0xCBF43926u);
  EXPECT_EQ(CrcOf("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
  EXPECT_EQ(CrcOf(""), 0u);
  const std::vector<uint8_t> ff(8192, 0xFF);
  EXPECT_EQ(Crc32Text(Crc32(ff.data(), ff.size())), "b4293435");
  // Summed in parts, the same value.
  const std::string text = "123456789";
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  EXPECT_EQ(Crc32(bytes + 4, 5, Crc32(bytes, 4)), 0xCBF43926u);
  EXPECT_EQ(Crc32Text(0x0000ABCDu), "0000abcd");
}

TEST(ChecksumTest, FirstByteThatIsNotBlank) {
  std::vector<uint8_t> image(300, 0xFF);
  EXPECT_FALSE(FirstNotBlank(image.data(), image.size()));
  EXPECT_FALSE(FirstNotBlank(image.data(), 0));
  image[299] = 0xFE;
  EXPECT_EQ(FirstNotBlank(image.data(), image.size()), 299u);
  image[7] = 0x00;
  EXPECT_EQ(FirstNotBlank(image.data(), image.size()), 7u);
}

TEST(RangeTest, StartAndLengthInEitherBase) {
  std::string error;
  const auto hex = ParseRange("0x1000:0x100", &error);
  ASSERT_TRUE(hex) << error;
  EXPECT_EQ(hex->start, 0x1000u);
  EXPECT_EQ(hex->length, 0x100u);
  const auto dec = ParseRange("100:256", &error);
  ASSERT_TRUE(dec);
  EXPECT_EQ(dec->start, 100u);
  EXPECT_EQ(dec->length, 256u);
  EXPECT_TRUE(ParseRange("0xFFFFFFFF:1", &error));
  for (const char* wrong : {"", "100", ":5", "5:", "0x:5", "1:0", "-1:5",
                            "0xFFFFFFFF:2", "1:2:3", "0x1g:1"}) {
    EXPECT_FALSE(ParseRange(wrong, &error)) << wrong;
    EXPECT_FALSE(error.empty());
  }
  EXPECT_EQ(RangeText({0x100, 0x100}), "0x100..0x1FF (256 байт)");
  EXPECT_EQ(RangeBeyond({0x100, 0x100}, 0x200, "EEPROM"), "");
  EXPECT_NE(RangeBeyond({0x100, 0x101}, 0x200, "EEPROM"), "");
}

TEST(MemoryCommandArgsTest, MemoryOrFileAndWhereRangesGo) {
  const ParsedArgs blank = Parse({"blank-check", "eeprom"});
  ASSERT_TRUE(blank.options) << blank.error;
  EXPECT_EQ(blank.options->memory, MemoryTarget::kEeprom);
  EXPECT_TRUE(NeedsDevice(*blank.options));
  EXPECT_FALSE(Parse({"blank-check", "fw.bin"}).options);
  EXPECT_FALSE(Parse({"blank-check"}).options);
  EXPECT_FALSE(Parse({"checksum"}).options);

  const ParsedArgs chip = Parse({"--range", "0:16", "checksum", "flash"});
  ASSERT_TRUE(chip.options) << chip.error;
  EXPECT_EQ(chip.options->memory, MemoryTarget::kFlash);
  ASSERT_TRUE(chip.options->range);
  EXPECT_EQ(chip.options->range->length, 16u);
  const ParsedArgs file = Parse({"checksum", "fw.hex"});
  ASSERT_TRUE(file.options) << file.error;
  EXPECT_EQ(file.options->memory, MemoryTarget::kNone);
  EXPECT_EQ(file.options->file, "fw.hex");
  EXPECT_FALSE(NeedsDevice(*file.options));
  // A log line is for a chip; a file's sum touches none.
  EXPECT_FALSE(Parse({"--log", "l.jsonl", "checksum", "fw.hex"}).options);
  EXPECT_TRUE(Parse({"--log", "l.jsonl", "checksum", "eeprom"}).options);

  for (const char* command : {"read-flash", "verify-eeprom"}) {
    EXPECT_TRUE(Parse({"--range", "0:1", command, "f"}).options) << command;
  }
  EXPECT_FALSE(Parse({"--range", "0:1", "write-flash", "f"}).options);
  EXPECT_FALSE(Parse({"--range", "0:1", "erase"}).options);
  EXPECT_FALSE(
      Parse({"--range", "0:1", "--range", "0:2", "checksum", "flash"}).options);
}

TEST(MemoryCommandArgsTest, PortSearchOptions) {
  const ParsedArgs probe = Parse({"--probe", "--probe-ms", "700", "ports"});
  ASSERT_TRUE(probe.options) << probe.error;
  EXPECT_TRUE(probe.options->probe);
  EXPECT_EQ(probe.options->probe_ms, 700);
  EXPECT_EQ(Parse({"ports"}).options->probe_ms, kDefaultProbeMs);
  EXPECT_FALSE(Parse({"--probe", "info"}).options);
  for (const char* wrong : {"0", "60001", "-5", "1e3", ""}) {
    EXPECT_FALSE(Parse({"--probe-ms", wrong, "info"}).options) << wrong;
  }
}

}  // namespace
}  // namespace taktm::testing
