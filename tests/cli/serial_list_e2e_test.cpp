// Pre-assigned serial numbers from a list and numbers written as text,
// against takt-m-devsim: each run takes the list's next number, an
// exhausted or malformed list stops the run before any port is opened,
// processes running at once never share a number, and a template's text is
// what the chip holds.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "harness/cli_process.h"
#include "harness/devsim_process.h"
#include "harness/random_bytes.h"
#include "harness/temp_dir.h"

namespace taktm::testing {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kSerialAt = 0x1FF0;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

uint32_t LittleEndianAt(const Bytes& chip, size_t at) {
  return chip[at] | chip[at + 1] << 8 | chip[at + 2] << 16 |
         static_cast<uint32_t>(chip[at + 3]) << 24;
}

class SerialListE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(File("image.bin"), RandomBytes(0x1000, 5));
  }
  std::string File(const std::string& name) const { return dir_.File(name); }
  // A device of its own keeping its memories in `mem`.
  std::unique_ptr<DevsimProcess> Device(const std::string& mem) {
    ::mkdir(File(mem).c_str(), 0700);
    auto device = std::make_unique<DevsimProcess>(
        std::vector<std::string>{"--memory-dir", File(mem), "--log",
                                 File(mem + ".frames"), "--ack-ms", "20"});
    EXPECT_FALSE(device->port().empty());
    return device;
  }
  CliResult Cli(const DevsimProcess& device, std::vector<std::string> args) {
    args.insert(args.begin(), {"--port", device.port(), "--chip", "DEMO-8K"});
    return RunCliProcess(args, File("cfg"), 60000);
  }
  Bytes Chip(const std::string& mem) const {
    return ReadBytes(File(mem + "/DEMO-8K.flash"));
  }
  // The frames the device received.
  size_t Received(const std::string& mem) const {
    size_t frames = 0;
    for (const std::string& line : ReadLines(File(mem + ".frames"))) {
      if (line.rfind("RX ", 0) == 0) ++frames;
    }
    return frames;
  }

  TempDir dir_;
};

TEST_F(SerialListE2eTest, RunsTakeTheListInOrderUntilItIsExhausted) {
  const auto device = Device("mem");
  WriteFile(File("lot.txt"),
            std::string("# lot 7\n0x00A1B2C3\n\n1000 # spare\n"));
  const std::string serial = "0x1FF0:list=" + File("lot.txt");
  for (const uint32_t number : {0xA1B2C3u, 1000u}) {
    const CliResult r = Cli(*device, {"--json", "--serial", serial,
                                      "write-flash", File("image.bin")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.out, "\"serial\":" + std::to_string(number) +
                                    ",\"serial_used\":true"))
        << r.out;
    const Bytes chip = Chip("mem");
    ASSERT_EQ(chip.size(), 8192u);
    EXPECT_EQ(LittleEndianAt(chip, kSerialAt), number);
  }
  EXPECT_EQ(ReadText(File("lot.txt.taken")), "2\n");

  // Exhausted: refused before the port is opened; the chip keeps its
  // number and the count stays.
  const Bytes before = Chip("mem");
  const size_t frames = Received("mem");
  const CliResult exhausted =
      Cli(*device, {"--serial", serial, "write-flash", File("image.bin")});
  EXPECT_EQ(exhausted.status, 6) << exhausted.err;
  EXPECT_TRUE(Contains(exhausted.err, "исчерпан: выданы все его номера (2)"))
      << exhausted.err;
  EXPECT_EQ(Received("mem"), frames);
  EXPECT_EQ(Chip("mem"), before);
  EXPECT_EQ(ReadText(File("lot.txt.taken")), "2\n");

  // A malformed line and a number too wide for the place: refused with
  // their lines, nothing sent, nothing counted.
  WriteFile(File("bad.txt"), std::string("1\n2\n0x1G\n"));
  WriteFile(File("wide.txt"), std::string("1\n0x10000\n"));
  for (const auto& [list, why] :
       {std::pair<std::string, std::string>{"bad.txt", "строка 3: не номер"},
        {"wide.txt", "строка 2: номер 65536 не помещается"}}) {
    const CliResult r =
        Cli(*device, {"--serial", "0x1FF0:list=" + File(list) + ":2",
                      "write-flash", File("image.bin")});
    EXPECT_EQ(r.status, 6) << r.err;
    EXPECT_TRUE(Contains(r.err, why)) << r.err;
    EXPECT_EQ(Received("mem"), frames);
    EXPECT_NE(::access(File(list + ".taken").c_str(), F_OK), 0);
  }
}

// Four processes at once, each with a device of its own, on one list:
// four different numbers, the first four of the list, and a count of four.
TEST_F(SerialListE2eTest, ProcessesAtOnceNeverShareANumber) {
  WriteFile(File("lot.txt"), std::string("11\n12\n13\n14\n15\n16\n"));
  std::vector<std::unique_ptr<DevsimProcess>> devices;
  std::vector<pid_t> runs;
  for (int i = 0; i < 4; ++i) {
    devices.push_back(Device("mem" + std::to_string(i)));
  }
  for (int i = 0; i < 4; ++i) {
    runs.push_back(
        StartCli({"--port", devices[i]->port(), "--chip", "DEMO-8K", "--quiet",
                  "--serial", "0x1FF0:list=" + File("lot.txt"), "write-flash",
                  File("image.bin")},
                 File("cfg"), File("run" + std::to_string(i))));
    ASSERT_GT(runs.back(), 0);
  }
  std::set<uint32_t> numbers;
  for (int i = 0; i < 4; ++i) {
    const std::string n = std::to_string(i);
    EXPECT_EQ(WaitExit(runs[i], 60000), 0)
        << ReadText(File("run" + n + ".err"));
    const Bytes chip = Chip("mem" + n);
    ASSERT_EQ(chip.size(), 8192u);
    numbers.insert(LittleEndianAt(chip, kSerialAt));
  }
  EXPECT_EQ(numbers, (std::set<uint32_t>{11, 12, 13, 14}));
  EXPECT_EQ(ReadText(File("lot.txt.taken")), "4\n");
}

// Two ports of one run on one list, as text: each chip its own number, and
// the summary names each by its text.
TEST_F(SerialListE2eTest, PortsOfOneRunTakeTheListsNumbersAsText) {
  const auto a = Device("mem-a");
  const auto b = Device("mem-b");
  WriteFile(File("lot.txt"), std::string("0x2A\n0x2B\n"));
  const CliResult r = RunCliProcess(
      {"--port", a->port() + "," + b->port(), "--chip", "DEMO-8K", "--serial",
       "0x1F00:list=" + File("lot.txt") + ":8:text=LOT%04X", "write-flash",
       File("image.bin")},
      File("cfg"), 60000);
  ASSERT_EQ(r.status, 0) << r.err;
  std::set<std::string> texts;
  for (const std::string mem : {"mem-a", "mem-b"}) {
    const Bytes chip = Chip(mem);
    ASSERT_EQ(chip.size(), 8192u);
    const std::string text(chip.begin() + 0x1F00, chip.begin() + 0x1F07);
    EXPECT_EQ(chip[0x1F07], 0x00);  // the padding
    EXPECT_TRUE(Contains(r.out, "№ " + text + "\t")) << r.out;
    texts.insert(text);
  }
  EXPECT_EQ(texts, (std::set<std::string>{"LOT002A", "LOT002B"}));
  EXPECT_EQ(ReadText(File("lot.txt.taken")), "2\n");
}

TEST_F(SerialListE2eTest, ATemplatesTextIsWhatTheChipHolds) {
  const auto device = Device("mem");
  WriteFile(File("next"), std::string("42\n"));
  const CliResult r =
      Cli(*device, {"--json", "--log", File("log.jsonl"), "--serial",
                    "0x1F00:" + File("next") + ":12:text=SN-%06d",
                    "write-flash", File("image.bin")});
  ASSERT_EQ(r.status, 0) << r.err;
  Bytes chip = Chip("mem");
  ASSERT_EQ(chip.size(), 8192u);
  const std::string text = "SN-000042";
  Bytes expected(text.begin(), text.end());
  expected.resize(12, 0x00);
  EXPECT_EQ(Bytes(chip.begin() + 0x1F00, chip.begin() + 0x1F0C), expected);
  EXPECT_EQ(ReadText(File("next")), "43\n");
  EXPECT_TRUE(Contains(r.out, "\"serial\":\"SN-000042\",\"serial_used\":true"))
      << r.out;
  const std::vector<std::string> log = ReadLines(File("log.jsonl"));
  ASSERT_EQ(log.size(), 2u);
  EXPECT_TRUE(
      Contains(log[0], "\"serial\":\"SN-000042\",\"status\":\"started\""))
      << log[0];
  EXPECT_TRUE(Contains(log[1], "\"serial\":\"SN-000042\",\"serial_used\":true"))
      << log[1];

  // A list's number through a template, in hexadecimal.
  WriteFile(File("ids.txt"), std::string("0xBEEF\n"));
  const CliResult listed =
      Cli(*device,
          {"--serial", "0x1F00:list=" + File("ids.txt") + ":10:text=ID%08X",
           "write-flash", File("image.bin")});
  ASSERT_EQ(listed.status, 0) << listed.err;
  chip = Chip("mem");
  EXPECT_EQ(std::string(chip.begin() + 0x1F00, chip.begin() + 0x1F0A),
            "ID0000BEEF");
}

}  // namespace
}  // namespace taktm::testing
