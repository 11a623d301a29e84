// blank-check, checksum and --range against takt-m-devsim: the chip's CRC-32
// equals what gzip computes of its memory file, a range queues only its own
// chunks, and a verify with a range compares only there.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "harness/cli_process.h"
#include "harness/devsim_process.h"
#include "harness/hex_records.h"
#include "harness/random_bytes.h"
#include "harness/temp_dir.h"

namespace taktm::testing {
namespace {

using Bytes = std::vector<uint8_t>;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The CRC-32 gzip puts into its trailer: an independent sum of the file.
std::string GzipCrc(const std::string& path) {
  FILE* p = ::popen(("gzip -c < '" + path + "' | tail -c 8").c_str(), "r");
  if (p == nullptr) return {};
  uint8_t trailer[8] = {};
  const size_t n = std::fread(trailer, 1, sizeof trailer, p);
  ::pclose(p);
  if (n != 8) return {};
  char text[9];
  std::snprintf(text, sizeof text, "%02x%02x%02x%02x", trailer[3], trailer[2],
                trailer[1], trailer[0]);
  return text;
}

class MemoryCommandsE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(::mkdir(File("mem").c_str(), 0700), 0);
    chip_ = RandomBytes(8192, 11);
    for (size_t i = 0x1000; i < chip_.size(); ++i) chip_[i] = 0xFF;
    WriteFile(File("mem/DEMO-8K.flash"), chip_);
    devsim_ = std::make_unique<DevsimProcess>(
        std::vector<std::string>{"--memory-dir", File("mem"), "--log",
                                 File("frames.log"), "--ack-ms", "20"});
    ASSERT_FALSE(devsim_->port().empty());
  }
  std::string File(const std::string& name) const { return dir_.File(name); }
  CliResult Cli(std::vector<std::string> args) {
    args.insert(args.begin(), {"--port", devsim_->port(), "--chip", "DEMO-8K"});
    return RunCliProcess(args, File("cfg"), 60000);
  }
  // Addresses of the reads (opcode 09) the device received.
  std::vector<uint32_t> ReadAddresses() const {
    std::vector<uint32_t> addresses;
    for (const std::string& line : ReadLines(File("frames.log"))) {
      if (line.rfind("RX 09 ", 0) != 0) continue;
      unsigned b[4];
      if (std::sscanf(line.c_str() + 6, "%x %x %x %x", &b[0], &b[1], &b[2],
                      &b[3]) == 4) {
        addresses.push_back(b[0] | b[1] << 8 | b[2] << 16 | b[3] << 24);
      }
    }
    return addresses;
  }

  TempDir dir_;
  Bytes chip_;
  std::unique_ptr<DevsimProcess> devsim_;
};

TEST_F(MemoryCommandsE2eTest, ChecksumsAgreeWithGzipAndBlankChecksFindTheByte) {
  const CliResult sum = Cli({"checksum", "flash"});
  ASSERT_EQ(sum.status, 0) << sum.err;
  const std::string expected = GzipCrc(File("mem/DEMO-8K.flash"));
  ASSERT_EQ(expected.size(), 8u);
  EXPECT_EQ(sum.out, expected + "\n");
  // The file's image, loaded as a write loads it, needs no device.
  WriteFile(File("image.bin"), Bytes(chip_.begin(), chip_.begin() + 0x1000));
  const CliResult file = RunCliProcess(
      {"--port", File("nowhere"), "checksum", File("image.bin")}, File("cfg"));
  EXPECT_EQ(file.status, 0) << file.err;
  EXPECT_EQ(file.out, GzipCrc(File("image.bin")) + "\n");
  // Intel HEX by its name, as a write reads it: the image's sum, not the
  // text's.
  WriteFile(File("image.hex"),
            ImageToHex(Bytes(chip_.begin(), chip_.begin() + 0x1000)));
  const CliResult hex =
      RunCliProcess({"checksum", File("image.hex")}, File("cfg"));
  EXPECT_EQ(hex.status, 0) << hex.err;
  EXPECT_EQ(hex.out, file.out);

  const CliResult dirty = Cli({"--json", "blank-check", "flash"});
  EXPECT_EQ(dirty.status, 5) << dirty.out;
  const size_t first = chip_[0] != 0xFF ? 0 : 1;  // random bytes: 0 or 1
  EXPECT_TRUE(Contains(dirty.out, "\"blank\":false")) << dirty.out;
  EXPECT_TRUE(Contains(dirty.out, "\"address\":" + std::to_string(first)));
  const CliResult clean =
      Cli({"--range", "0x1000:0x1000", "blank-check", "flash"});
  EXPECT_EQ(clean.status, 0) << clean.err;
  EXPECT_TRUE(Contains(clean.out, "чиста: 4096 байт FF")) << clean.out;
  EXPECT_EQ(Cli({"blank-check", "eeprom"}).status, 0);
  // A range past the memory is refused before anything is read.
  EXPECT_EQ(Cli({"--range", "0x1F00:0x200", "checksum", "flash"}).status, 2);
}

TEST_F(MemoryCommandsE2eTest, ARangeReadsAndComparesOnlyItsChunks) {
  const CliResult read =
      Cli({"--range", "0x300:500", "read-flash", File("part.bin")});
  ASSERT_EQ(read.status, 0) << read.err;
  EXPECT_EQ(ReadBytes(File("part.bin")),
            Bytes(chip_.begin() + 0x300, chip_.begin() + 0x300 + 500));
  EXPECT_EQ(ReadAddresses(),
            (std::vector<uint32_t>{0x300, 0x300 + 224, 0x300 + 448}));
  // The image differs from the chip outside the range only.
  Bytes image(chip_.begin(), chip_.begin() + 0x1000);
  image[0x10] ^= 0xFF;
  image[0x900] ^= 0xFF;
  WriteFile(File("image.bin"), image);
  EXPECT_EQ(
      Cli({"--range", "0x100:0x700", "verify-flash", File("image.bin")}).status,
      0);
  const CliResult bad =
      Cli({"--range", "0x800:0x200", "verify-flash", File("image.bin")});
  EXPECT_EQ(bad.status, 5) << bad.err;
  const CliResult sum = Cli({"--range", "0x300:500", "checksum", "flash"});
  EXPECT_EQ(sum.out, GzipCrc(File("part.bin")) + "\n");
}

// --trace: every frame the device received is a TX line of the trace, in
// order, and its acknowledgements and replies are RX lines.
TEST_F(MemoryCommandsE2eTest, TraceHoldsEveryFrameBothWays) {
  const CliResult r = Cli(
      {"--trace", File("trace.txt"), "--range", "0:300", "checksum", "flash"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::string> sent;  // payloads, as the device logs them
  int received = 0;
  double last_ms = -1;
  for (const std::string& line : ReadLines(File("trace.txt"))) {
    std::istringstream in(line);
    double ms = 0;
    std::string direction;
    in >> ms >> direction;
    EXPECT_GE(ms, last_ms) << line;
    last_ms = ms;
    if (direction == "RX") {
      ++received;
      EXPECT_EQ(line.find("??"), std::string::npos) << line;
      continue;
    }
    ASSERT_EQ(direction, "TX") << line;
    std::vector<std::string> bytes;
    for (std::string b; in >> b;) bytes.push_back(b);
    ASSERT_GE(bytes.size(), 7u) << line;
    std::string payload;
    for (size_t i = 6; i + 1 < bytes.size(); ++i) {
      payload += (payload.empty() ? "" : " ") + bytes[i];
    }
    sent.push_back(payload);
  }
  std::vector<std::string> device;
  for (const std::string& line : ReadLines(File("frames.log"))) {
    if (line.rfind("RX ", 0) == 0) device.push_back(line.substr(3));
  }
  EXPECT_EQ(sent, device);
  EXPECT_GT(received, static_cast<int>(sent.size()));  // acks and replies
  // One file, one role: the trace may not be the file read.
  WriteFile(File("image.bin"), Bytes(16, 0));
  EXPECT_EQ(
      Cli({"--trace", File("image.bin"), "verify-flash", File("image.bin")})
          .status,
      2);
}

// --serial with :be and :step=N: the number's bytes most significant first,
// and the counter moved on by the step for each chip.
TEST_F(MemoryCommandsE2eTest, BigEndianSerialNumbersWithAStep) {
  WriteFile(File("image.bin"), Bytes(chip_.begin(), chip_.begin() + 0x1000));
  WriteFile(File("next"), std::string("4096\n"));
  for (const uint32_t number : {4096u, 4106u}) {
    const CliResult r =
        Cli({"--serial", "0x1FF0:" + File("next") + ":be:step=10",
             "write-flash", File("image.bin")});
    ASSERT_EQ(r.status, 0) << r.err;
    const Bytes chip = ReadBytes(File("mem/DEMO-8K.flash"));
    ASSERT_EQ(chip.size(), 8192u);
    EXPECT_EQ(Bytes(chip.begin() + 0x1FF0, chip.begin() + 0x1FF4),
              (Bytes{static_cast<uint8_t>(number >> 24),
                     static_cast<uint8_t>(number >> 16),
                     static_cast<uint8_t>(number >> 8),
                     static_cast<uint8_t>(number)}));
  }
  EXPECT_EQ(ReadText(File("next")), "4116\n");
}

}  // namespace
}  // namespace taktm::testing
