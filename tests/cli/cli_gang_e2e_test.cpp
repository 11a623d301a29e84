// takt-m-cli on a production line: several takt-m-devsim instances, each on
// its own pseudo-terminal, programmed at once with serial numbers from a
// counter file and a production log; failing devices, and runs killed at
// several points.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
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
// The number sits beyond the end of the image, in a chunk the image leaves
// all 0xFF: the image is filled up to it.
constexpr uint32_t kSerialAt = 0x1FF0;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The number at the place, or nothing when the chip holds none there.
std::optional<uint32_t> SerialIn(const Bytes& chip, uint32_t at = kSerialAt) {
  if (chip.size() < at + 4u) return std::nullopt;
  const uint32_t v = chip[at] | chip[at + 1] << 8 | chip[at + 2] << 16 |
                     static_cast<uint32_t>(chip[at + 3]) << 24;
  if (v == 0xFFFFFFFFu) return std::nullopt;
  return v;
}

// What a chip must hold: the image, 0xFF after it, the number in its place.
Bytes Expected(const Bytes& image, uint32_t serial) {
  Bytes chip = image;
  chip.resize(kFlashSize, 0xFF);
  for (int i = 0; i < 4; ++i) {
    chip[kSerialAt + i] = static_cast<uint8_t>(serial >> (8 * i));
  }
  return chip;
}

// The log's closing lines; each number taken also has a "started" line
// written before it, checked here to come first.
std::vector<std::string> ClosingLines(const std::vector<std::string>& log) {
  std::vector<std::string> closing;
  std::set<std::string> started;
  for (const std::string& line : log) {
    const size_t at = line.find("\"serial\":");
    const std::string serial =
        at == std::string::npos ? "" : line.substr(at, line.find(',', at) - at);
    if (Contains(line, "\"status\":\"started\"")) {
      EXPECT_TRUE(started.insert(serial).second) << line;
      continue;
    }
    if (!serial.empty() && serial != "\"serial\":null") {
      EXPECT_EQ(started.count(serial), 1u) << "no started line: " << line;
    }
    closing.push_back(line);
  }
  return closing;
}

class GangE2eTest : public ::testing::Test {
 protected:
  // Devices 0..n-1, each with its own memory folder and frame log.
  void StartDevices(const std::vector<std::vector<std::string>>& extras) {
    for (size_t i = 0; i < extras.size(); ++i) {
      std::vector<std::string> args = {"--memory-dir", Memory(i),  "--log",
                                       Frames(i),      "--ack-ms", "20"};
      args.insert(args.end(), extras[i].begin(), extras[i].end());
      devices_.push_back(std::make_unique<DevsimProcess>(args));
      ASSERT_FALSE(devices_.back()->port().empty()) << "device " << i;
    }
  }
  std::string File(const std::string& name) const { return dir_.File(name); }
  std::string Memory(size_t i) const { return File("mem" + std::to_string(i)); }
  std::string Frames(size_t i) const {
    return File("frames" + std::to_string(i) + ".log");
  }
  Bytes Chip(size_t i) const { return ReadBytes(Memory(i) + "/DEMO-8K.flash"); }
  std::string Port(size_t i) const { return devices_[i]->port(); }
  bool Received(size_t i) const {
    for (const std::string& line : ReadLines(Frames(i))) {
      if (line.rfind("RX ", 0) == 0) return true;
    }
    return false;
  }
  CliResult Cli(const std::vector<std::string>& args) {
    return RunCliProcess(args, File("cfg"), 60000);
  }
  uint64_t Counter() const { return std::stoull(ReadText(File("counter"))); }

  TempDir dir_;
  std::vector<std::unique_ptr<DevsimProcess>> devices_;
};

TEST_F(GangE2eTest, FourPortsProgramFourChipsWithConsecutiveSerials) {
  ASSERT_NO_FATAL_FAILURE(StartDevices({{}, {}, {}, {}}));
  const Bytes image = RandomBytes(8000, 1);
  WriteFile(File("image.bin"), std::string(image.begin(), image.end()));
  WriteFile(File("counter"), "1000\n");
  // Both forms: repeated and a comma list. Skipping all-0xFF chunks must
  // not skip the number's chunk.
  const CliResult r =
      Cli({"--port", Port(0), "--port", Port(1) + "," + Port(2) + "," + Port(3),
           "--chip", "DEMO-8K", "--skip-ff", "--serial",
           "0x1FF0:" + File("counter"), "--log", File("log.jsonl"),
           "write-flash", File("image.bin")});
  ASSERT_EQ(r.status, 0) << r.out << r.err;

  // One line per port as it finishes, then the summary.
  const std::vector<std::string> lines = [&] {
    std::vector<std::string> v;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) v.push_back(line);
    return v;
  }();
  ASSERT_EQ(lines.size(), 5u) << r.out;
  EXPECT_EQ(lines[4], "Итого: успешно 4 из 4");
  std::set<uint32_t> serials;
  for (size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE("device " + std::to_string(i));
    const Bytes chip = Chip(i);
    const std::optional<uint32_t> serial = SerialIn(chip);
    ASSERT_TRUE(serial);
    serials.insert(*serial);
    EXPECT_TRUE(chip == Expected(image, *serial));
    const auto line = std::find_if(
        lines.begin(), lines.end() - 1,
        [&](const std::string& l) { return l.rfind(Port(i) + "\t", 0) == 0; });
    ASSERT_NE(line, lines.end() - 1);
    EXPECT_EQ(line->rfind(Port(i) + "\tDEMO-8K\tok\t16360/16360 байт\t", 0), 0u)
        << *line;
    const std::string tail =
        " с\t№ " + std::to_string(*serial) + "\tВсе верно.";
    EXPECT_EQ(line->substr(line->size() - tail.size()), tail) << *line;
  }
  EXPECT_EQ(serials, (std::set<uint32_t>{1000, 1001, 1002, 1003}));
  EXPECT_EQ(Counter(), 1004u);

  const std::vector<std::string> log =
      ClosingLines(ReadLines(File("log.jsonl")));
  ASSERT_EQ(log.size(), 4u);
  const std::string sha = Sha256SumOf(File("image.bin"));
  for (const std::string& line : log) {
    EXPECT_TRUE(Contains(line,
                         "\"device\":\"ТАКТ-М (виртуальный)\","
                         "\"chip\":\"DEMO-8K\",\"command\":"
                         "\"write-flash\",\"file\":\"" +
                             File("image.bin") + "\",\"sha256\":\"" + sha +
                             "\",\"serial\":100"))
        << line;
    EXPECT_TRUE(Contains(line,
                         ",\"serial_used\":true,\"status\":\"ok\","
                         "\"exit\":0,\"bytes\":16360,"))
        << line;
    EXPECT_EQ(line.rfind("{\"time\":\"20", 0), 0u);
  }
}

// A wrong signature on one device, another silent in the middle of the
// write: the other two are programmed, the worst status is the exit
// status, every chip has its log line, and only the two good chips took a
// number (the silent one fell quiet before its number's chunk went out).
TEST_F(GangE2eTest, AFailingPortNeverStopsTheOthers) {
  ASSERT_NO_FATAL_FAILURE(
      StartDevices({{}, {"--wrong-signature"}, {"--silent-after", "50"}, {}}));
  const Bytes image = RandomBytes(8000, 2);
  WriteFile(File("image.bin"), std::string(image.begin(), image.end()));
  WriteFile(File("counter"), "1000\n");
  const CliResult r = Cli(
      {"--port", Port(0) + "," + Port(1) + "," + Port(2) + "," + Port(3),
       "--chip", "DEMO-8K", "--serial", "0x1FF0:" + File("counter"), "--log",
       File("log.jsonl"), "--json", "write-flash", File("image.bin")});
  EXPECT_EQ(r.status, 4) << r.out << r.err;  // wrong-signature beats no-device

  // One object per port, in the order given.
  ASSERT_EQ(
      r.out.rfind("[{\"command\":\"write-flash\",\"port\":\"" + Port(0), 0), 0u)
      << r.out;
  ASSERT_EQ(r.out.substr(r.out.size() - 2), "]\n");
  size_t at = 0;
  const char* statuses[] = {"\"status\":\"ok\"",
                            "\"status\":\"wrong-signature\"",
                            "\"status\":\"no-device\"", "\"status\":\"ok\""};
  for (size_t i = 0; i < 4; ++i) {
    at = r.out.find("\"port\":\"" + Port(i) + "\"", at);
    ASSERT_NE(at, std::string::npos) << i;
    const size_t end = r.out.find("\"first_frame_ms\"", at);
    EXPECT_TRUE(Contains(r.out.substr(at, end - at), statuses[i])) << i;
  }

  std::set<uint32_t> serials;
  for (size_t i : {0u, 3u}) {
    const std::optional<uint32_t> serial = SerialIn(Chip(i));
    ASSERT_TRUE(serial) << i;
    serials.insert(*serial);
    EXPECT_TRUE(Chip(i) == Expected(image, *serial)) << i;
  }
  EXPECT_EQ(serials, (std::set<uint32_t>{1000, 1001}));
  EXPECT_EQ(Chip(1), Bytes(kFlashSize, 0xFF));  // stopped before the erase
  EXPECT_FALSE(SerialIn(Chip(2)));              // cut off before its number
  EXPECT_EQ(Counter(), 1002u);

  const std::vector<std::string> log =
      ClosingLines(ReadLines(File("log.jsonl")));
  ASSERT_EQ(log.size(), 4u);
  int used = 0, none = 0;
  for (const std::string& line : log) {
    used += Contains(line, "\"serial_used\":true,\"status\":\"ok\"");
    none += Contains(line, "\"serial\":null,\"status\":\"");
  }
  EXPECT_EQ(used, 2);
  EXPECT_EQ(none, 2);
}

// A chip that failed after its number went out keeps the number burnt: the
// log says it was not used, and it is never given to another chip.
TEST_F(GangE2eTest, ANumberSentToAChipThatFailedIsNeverGivenAgain) {
  ASSERT_NO_FATAL_FAILURE(StartDevices({{}}));
  // DEMO-4K cannot be erased: after a write of zeros, a write that must
  // set bits fails its verify, its number (in the first chunk) sent.
  WriteFile(File("zero.bin"), std::string(100, '\0'));
  WriteFile(File("ones.bin"), std::string(100, '\x0F'));
  WriteFile(File("counter"), "77\n");
  ASSERT_EQ(Cli({"--port", Port(0), "--chip", "DEMO-4K", "--quiet",
                 "write-flash", File("zero.bin")})
                .status,
            0);
  const std::vector<std::string> serial = {
      "--port",  Port(0),           "--chip",
      "DEMO-4K", "--serial",        "0x10:" + File("counter"),
      "--log",   File("log.jsonl"), "--json"};
  std::vector<std::string> args = serial;
  args.insert(args.end(), {"write-flash", File("ones.bin")});
  const CliResult failed = Cli(args);
  EXPECT_EQ(failed.status, 5) << failed.out << failed.err;
  EXPECT_TRUE(Contains(failed.out, "\"serial\":77,"));
  EXPECT_TRUE(Contains(failed.out,
                       "\"serial_used\":false,\"status\":"
                       "\"verify-mismatch\",\"exit\":5"));
  EXPECT_EQ(Counter(), 78u);
  args = serial;
  args.insert(args.end(), {"write-eeprom", File("ones.bin")});
  const CliResult next = Cli(args);
  ASSERT_EQ(next.status, 0) << next.out << next.err;
  EXPECT_TRUE(Contains(next.out, "\"serial\":78,\"serial_used\":true"));
  const Bytes eeprom = ReadBytes(Memory(0) + "/DEMO-4K.eeprom");
  EXPECT_EQ(SerialIn(eeprom, 0x10), 78u);
  const std::vector<std::string> log =
      ClosingLines(ReadLines(File("log.jsonl")));
  ASSERT_EQ(log.size(), 2u);
  EXPECT_TRUE(Contains(log[0],
                       "\"serial\":77,\"serial_used\":false,"
                       "\"status\":\"verify-mismatch\",\"exit\":5,"
                       "\"address\":0,\"address_hex\":\"0\""))
      << log[0];
  EXPECT_TRUE(Contains(log[1], "\"command\":\"write-eeprom\""));
}

// Decimal digits in the EEPROM, without the write's reload.
TEST_F(GangE2eTest, DecimalSerialInTheEeprom) {
  ASSERT_NO_FATAL_FAILURE(StartDevices({{}}));
  WriteFile(File("data.bin"), std::string(300, 'x'));
  WriteFile(File("counter"), "4711\n");
  const CliResult r =
      Cli({"--port", Port(0), "--chip", "DEMO-8K", "--no-reload", "--serial",
           "0x1F8:" + File("counter") + ":6:dec", "write-eeprom",
           File("data.bin")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Все верно.\n");  // one port: the output of one port
  const Bytes eeprom = ReadBytes(Memory(0) + "/DEMO-8K.eeprom");
  ASSERT_EQ(eeprom.size(), 512u);
  EXPECT_EQ(std::string(eeprom.begin() + 0x1F8, eeprom.begin() + 0x1FE),
            "004711");
  EXPECT_EQ(std::string(eeprom.begin(), eeprom.begin() + 300),
            std::string(300, 'x'));
  EXPECT_EQ(Counter(), 4712u);
}

// A counter that cannot give a number, or a log that cannot be written, is
// a file error before any port is opened; a place outside the memory is a
// usage error before anything is written.
TEST_F(GangE2eTest, UnusableCounterOrLogStopsBeforeAnyChip) {
  ASSERT_NO_FATAL_FAILURE(StartDevices({{}, {}}));
  WriteFile(File("image.bin"), std::string(500, 'a'));
  const std::string ports = Port(0) + "," + Port(1);
  auto run = [&](const std::string& serial, const std::string& log) {
    std::vector<std::string> args = {"--port",  ports,      "--chip",
                                     "DEMO-8K", "--serial", serial};
    if (!log.empty()) args.insert(args.end(), {"--log", log});
    args.insert(args.end(), {"write-flash", File("image.bin")});
    return Cli(args);
  };
  const std::string counter = File("counter");
  CliResult r = run("0:" + counter, "");
  EXPECT_EQ(r.status, 6);
  EXPECT_TRUE(Contains(r.err, "Файл счётчика \"" + counter + "\"")) << r.err;
  WriteFile(counter, "first\n");
  r = run("0:" + counter, "");
  EXPECT_EQ(r.status, 6);
  EXPECT_TRUE(Contains(r.err, "нет числа")) << r.err;
  WriteFile(counter, "256\n");
  r = run("0:" + counter + ":1", "");
  EXPECT_EQ(r.status, 6);
  EXPECT_TRUE(Contains(r.err, "Номер 256")) << r.err;
  WriteFile(counter, "5\n");
  r = run("0:" + counter, File("no/such/folder/log.jsonl"));
  EXPECT_EQ(r.status, 6);
  EXPECT_TRUE(Contains(r.err, "Журнал")) << r.err;
  EXPECT_FALSE(Received(0) || Received(1));  // no port was even opened

  r = run("0x1FFE:" + counter, "");  // 4 bytes from 8190: past 8192
  EXPECT_EQ(r.status, 2) << r.out << r.err;
  EXPECT_TRUE(Contains(r.out + r.err, "не помещается в память программ"));
  for (size_t i = 0; i < 2; ++i) {
    for (const std::string& line : ReadLines(Frames(i))) {
      EXPECT_NE(line.rfind("RX 07", 0), 0u) << line;  // no erase
      EXPECT_NE(line.rfind("RX 0A", 0), 0u) << line;  // no write
    }
  }
  EXPECT_EQ(ReadText(counter), "5\n");
}

// The command line killed before, around and after the counter's update,
// then run to the end: no two chips hold the same number, and the counter
// is above every number any chip holds.
TEST_F(GangE2eTest, KilledAtAnyPointNoNumberIsGivenTwice) {
  const Bytes image = RandomBytes(8000, 3);
  WriteFile(File("image.bin"), std::string(image.begin(), image.end()));
  WriteFile(File("counter"), "500\n");
  // A line the device's frame log reaches first, or the counter's change.
  const char* const kill_at[] = {"RX FE", "RX 0A", "counter", "counter",
                                 "RX 0B"};
  std::vector<uint32_t> found;
  for (size_t i = 0; i <= std::size(kill_at); ++i) {
    SCOPED_TRACE("run " + std::to_string(i));
    // A fresh chip for each run; slow replies widen the windows.
    auto device = std::make_unique<DevsimProcess>(
        std::vector<std::string>{"--memory-dir", Memory(i), "--log", Frames(i),
                                 "--ack-ms", "20", "--latency-ms", "4"});
    ASSERT_FALSE(device->port().empty());
    const std::string before = ReadText(File("counter"));
    CliChild cli({"--port", device->port(), "--chip", "DEMO-8K", "--quiet",
                  "--serial", std::to_string(kSerialAt) + ":" + File("counter"),
                  "write-flash", File("image.bin")},
                 File("cfg"), File("cli" + std::to_string(i)));
    if (i == std::size(kill_at)) {
      EXPECT_EQ(cli.Wait(30000), 0) << ReadText(File("cli5.err"));
    } else {
      const std::string point = kill_at[i];
      auto reached = [&] {
        if (point == "counter") return ReadText(File("counter")) != before;
        for (const std::string& line : ReadLines(Frames(i))) {
          if (line.rfind(point, 0) == 0) return true;
        }
        return false;
      };
      const auto deadline =
          std::chrono::steady_clock::now() + std::chrono::seconds(30);
      while (!reached() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      }
      EXPECT_TRUE(reached());
      cli.Kill();
    }
    device.reset();  // the memory files are complete
    if (const auto serial = SerialIn(Chip(i))) found.push_back(*serial);
  }
  ASSERT_FALSE(found.empty());
  EXPECT_EQ(std::set<uint32_t>(found.begin(), found.end()).size(),
            found.size());
  const uint64_t next = Counter();
  EXPECT_GT(next, *std::max_element(found.begin(), found.end()));
  // The run that was not killed has the last number given out.
  EXPECT_TRUE(Chip(std::size(kill_at)) ==
              Expected(image, static_cast<uint32_t>(next - 1)));
}

}  // namespace
}  // namespace taktm::testing
