// takt-m-cli program against takt-m-devsim: a whole product (flash, EEPROM
// with its serial number, fuses, locks) in one run on one port and on four
// at once, checked in the emulator's memory files; a wrong signature that
// stops the run before anything is written; a device falling silent in the
// EEPROM step, named in the JSON and the log.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "harness/cli_process.h"
#include "harness/devsim_process.h"
#include "harness/random_bytes.h"
#include "harness/sha256sum.h"
#include "harness/temp_dir.h"

namespace taktm::testing {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kFlashSize = 8192;  // DEMO-8K
constexpr uint32_t kEepromSize = 512;
constexpr uint32_t kSerialAt = 0x10;  // in the EEPROM, two bytes

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class ProgramE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    flash_ = RandomBytes(3000, 7);
    eeprom_ = RandomBytes(100, 8);
    WriteFile(File("fw.bin"), flash_);
    WriteFile(File("cal.bin"), eeprom_);
    WriteFile(File("counter"), std::string("500\n"));
  }
  void StartDevices(size_t n, const std::vector<std::string>& extra = {}) {
    for (size_t i = 0; i < n; ++i) {
      std::vector<std::string> args = {"--memory-dir", Memory(i),  "--log",
                                       Frames(i),      "--ack-ms", "20"};
      args.insert(args.end(), extra.begin(), extra.end());
      devices_.push_back(std::make_unique<DevsimProcess>(args));
      ASSERT_FALSE(devices_.back()->port().empty()) << "device " << i;
    }
  }
  std::string File(const std::string& name) const { return dir_.File(name); }
  std::string Memory(size_t i) const { return File("mem" + std::to_string(i)); }
  std::string Frames(size_t i) const {
    return File("frames" + std::to_string(i) + ".log");
  }
  Bytes Chip(size_t i, const std::string& what) const {
    return ReadBytes(Memory(i) + "/DEMO-8K." + what);
  }
  std::string Ports() const {
    std::string ports;
    for (const auto& d : devices_)
      ports += (ports.empty() ? "" : ",") + d->port();
    return ports;
  }
  std::vector<std::string> ProductArgs() const {
    return {"program",  "--port",
            Ports(),    "--chip",
            "DEMO-8K",  "--defaults",
            "--flash",  File("fw.bin"),
            "--eeprom", File("cal.bin"),
            "--fuses",  "CLK0,BOOT",
            "--locks",  "1",
            "--serial", "eeprom:0x10:" + File("counter") + ":2",
            "--log",    File("log.jsonl")};
  }
  CliResult Cli(const std::vector<std::string>& args) {
    return RunCliProcess(args, File("cfg"), 60000);
  }
  // The chip as a run must leave it: each image with 0xFF behind it, the
  // number in the EEPROM, fuses 0 and 2 and lock 1 set.
  void ExpectProduct(size_t i, uint32_t serial) {
    SCOPED_TRACE("device " + std::to_string(i));
    Bytes flash = flash_;
    flash.resize(kFlashSize, 0xFF);
    EXPECT_EQ(Chip(i, "flash"), flash);
    Bytes eeprom = eeprom_;
    eeprom.resize(kEepromSize, 0xFF);
    eeprom[kSerialAt] = static_cast<uint8_t>(serial);
    eeprom[kSerialAt + 1] = static_cast<uint8_t>(serial >> 8);
    EXPECT_EQ(Chip(i, "eeprom"), eeprom);
    EXPECT_EQ(Chip(i, "fuses"), (Bytes{1, 0, 1, 0, 0, 0}));
    EXPECT_EQ(Chip(i, "locks"), (Bytes{0, 1}));
  }
  // The closing lines of the production log.
  std::vector<std::string> Closing() const {
    std::vector<std::string> lines;
    for (const std::string& l : ReadLines(File("log.jsonl"))) {
      if (!Contains(l, "\"status\":\"started\"")) lines.push_back(l);
    }
    return lines;
  }
  // Whether device `i` received any command that changes a chip.
  bool ReceivedWrites(size_t i) const {
    for (const std::string& line : ReadLines(Frames(i))) {
      for (const char* op :
           {"RX 04", "RX 06", "RX 07", "RX 08", "RX 0A", "RX 0C", "RX 0E"}) {
        if (line.rfind(op, 0) == 0) return true;
      }
    }
    return false;
  }

  TempDir dir_;
  Bytes flash_;
  Bytes eeprom_;
  std::vector<std::unique_ptr<DevsimProcess>> devices_;
};

TEST_F(ProgramE2eTest, OnePortGetsTheWholeProductWithOneLogLine) {
  StartDevices(1);
  std::vector<std::string> args = ProductArgs();
  args.push_back("--json");
  const CliResult r = Cli(args);
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  ExpectProduct(0, 500);
  const std::string flash_sha = Sha256SumOf(File("fw.bin"));
  const std::string eeprom_sha = Sha256SumOf(File("cal.bin"));
  EXPECT_TRUE(Contains(r.out,
                       "\"steps\":[\"signature\",\"erase\",\"flash\","
                       "\"eeprom\",\"fuses\",\"locks\"]"))
      << r.out;
  EXPECT_TRUE(Contains(r.out, "\"sha256\":\"" + flash_sha + "\"")) << r.out;
  EXPECT_TRUE(Contains(r.out, "\"sha256\":\"" + eeprom_sha + "\"")) << r.out;
  EXPECT_TRUE(Contains(r.out, "\"serial\":500")) << r.out;
  EXPECT_FALSE(Contains(r.out, "\"step\":")) << r.out;
  const std::vector<std::string> closing = Closing();
  ASSERT_EQ(closing.size(), 1u);
  const std::string& line = closing[0];
  EXPECT_TRUE(Contains(line, "\"command\":\"program\"")) << line;
  EXPECT_TRUE(Contains(line, "{\"memory\":\"flash\",\"file\":\"" +
                                 File("fw.bin") + "\",\"sha256\":\"" +
                                 flash_sha + "\"}"))
      << line;
  EXPECT_TRUE(Contains(line, "{\"memory\":\"eeprom\",\"file\":\"" +
                                 File("cal.bin") + "\",\"sha256\":\"" +
                                 eeprom_sha + "\"}"))
      << line;
  EXPECT_TRUE(Contains(line, "\"fuses\":\"CLK0,BOOT\",\"locks\":\"1\""))
      << line;
  EXPECT_TRUE(Contains(line, "\"serial\":500,\"serial_used\":true")) << line;
  EXPECT_TRUE(Contains(line, "\"status\":\"ok\"")) << line;
  // Both memories written and verified: 2 × (3,000 + 100) data bytes.
  EXPECT_TRUE(Contains(line, "\"bytes\":6200")) << line;
  EXPECT_EQ(ReadText(File("counter")), "501\n");
}

TEST_F(ProgramE2eTest, FourPortsAtOnceEachGetTheProductAndANumber) {
  StartDevices(4);
  const CliResult r = Cli(ProductArgs());
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  // Each chip took one number; which one is the order the ports asked.
  std::vector<uint32_t> numbers;
  for (size_t i = 0; i < 4; ++i) {
    const Bytes eeprom = Chip(i, "eeprom");
    ASSERT_EQ(eeprom.size(), kEepromSize);
    numbers.push_back(eeprom[kSerialAt] | eeprom[kSerialAt + 1] << 8);
    ExpectProduct(i, numbers.back());
  }
  std::sort(numbers.begin(), numbers.end());
  EXPECT_EQ(numbers, (std::vector<uint32_t>{500, 501, 502, 503}));
  EXPECT_EQ(Closing().size(), 4u);
  for (const std::string& line : Closing()) {
    EXPECT_TRUE(Contains(line, "\"status\":\"ok\"")) << line;
  }
  EXPECT_EQ(ReadText(File("counter")), "504\n");
}

TEST_F(ProgramE2eTest, WrongSignatureStopsTheRunBeforeAnyWrite) {
  StartDevices(1, {"--wrong-signature"});
  std::vector<std::string> args = ProductArgs();
  args.push_back("--json");
  const CliResult r = Cli(args);
  EXPECT_EQ(r.status, 4) << r.out << r.err;  // wrong-signature
  EXPECT_TRUE(Contains(r.out, "\"step\":\"signature\"")) << r.out;
  EXPECT_TRUE(Contains(r.out, "\"steps\":[]")) << r.out;
  EXPECT_TRUE(Contains(r.out,
                       "Программирование остановлено на шаге "
                       "\\\"проверка сигнатуры\\\""))
      << r.out;
  EXPECT_FALSE(ReceivedWrites(0));
  // The chip is as it was: erased memories, factory bits, no number taken.
  EXPECT_EQ(Chip(0, "flash"), Bytes(kFlashSize, 0xFF));
  EXPECT_EQ(Chip(0, "eeprom"), Bytes(kEepromSize, 0xFF));
  EXPECT_EQ(Chip(0, "locks"), (Bytes{0, 0}));
  EXPECT_EQ(ReadText(File("counter")), "500\n");
  const std::vector<std::string> closing = Closing();
  ASSERT_EQ(closing.size(), 1u);
  EXPECT_TRUE(Contains(closing[0], "\"status\":\"wrong-signature\""))
      << closing[0];
  EXPECT_TRUE(Contains(closing[0], "\"step\":\"signature\"")) << closing[0];
}

TEST_F(ProgramE2eTest, DeviceSilentInTheEepromStepIsNamedAndStopsTheRest) {
  // A first run counts the replies before the EEPROM step's chip selection.
  StartDevices(1);
  ASSERT_EQ(Cli(ProductArgs()).status, 0);
  size_t replies = 0;
  for (const std::string& line : ReadLines(Frames(0))) {
    if (line.rfind("RX 0E", 0) == 0) break;
    if (line.rfind("RX ", 0) == 0) ++replies;
  }
  ASSERT_GT(replies, 1u);
  devices_.clear();  // device 1 alone, on fresh memories
  devices_.push_back(std::make_unique<DevsimProcess>(std::vector<std::string>{
      "--memory-dir", Memory(1), "--log", Frames(1), "--ack-ms", "20",
      "--silent-after", std::to_string(replies - 1)}));
  ASSERT_FALSE(devices_.back()->port().empty());
  std::vector<std::string> args = ProductArgs();
  args.insert(args.end(), {"--json", "--timeout", "2"});
  const CliResult r = Cli(args);
  EXPECT_EQ(r.status, 1) << r.out << r.err;  // device-failure
  EXPECT_TRUE(Contains(r.out, "\"step\":\"eeprom\"")) << r.out;
  EXPECT_TRUE(Contains(r.out, "\"steps\":[\"signature\",\"erase\",\"flash\"]"))
      << r.out;
  // The flash was written; the EEPROM, fuses and locks were not.
  Bytes flash = flash_;
  flash.resize(kFlashSize, 0xFF);
  EXPECT_EQ(Chip(1, "flash"), flash);
  EXPECT_EQ(Chip(1, "eeprom"), Bytes(kEepromSize, 0xFF));
  EXPECT_EQ(Chip(1, "locks"), (Bytes{0, 0}));
  const std::vector<std::string> closing = Closing();
  ASSERT_EQ(closing.size(), 2u);
  EXPECT_TRUE(Contains(closing[1], "\"step\":\"eeprom\"")) << closing[1];
  EXPECT_TRUE(Contains(closing[1], "запись и сверка EEPROM")) << closing[1];
}

}  // namespace
}  // namespace taktm::testing
