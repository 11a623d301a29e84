// takt-m-cli as a user runs it, against takt-m-devsim on a pseudo-terminal:
// every command, every exit status, the stored settings as defaults, and a
// HEX file written by the program read back by objcopy.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "buffer/intel_hex.h"
#include "buffer/intel_hex_writer.h"
#include "harness/cli_process.h"
#include "harness/devsim_process.h"
#include "harness/random_bytes.h"
#include "harness/temp_dir.h"
#include "support/fake_link_host.h"
#include "support/pty.h"

namespace taktm::testing {
namespace {

using Bytes = std::vector<uint8_t>;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class CliE2eTest : public ::testing::Test {
 protected:
  void Start(std::vector<std::string> args = {}) {
    args.insert(args.end(), {"--log", File("frames.log"), "--memory-dir",
                             File("mem"), "--ack-ms", "20"});
    devsim_ = std::make_unique<DevsimProcess>(args);
    ASSERT_FALSE(devsim_->port().empty()) << "takt-m-devsim did not start";
  }
  void TearDown() override { devsim_.reset(); }

  std::string File(const std::string& name) const { return dir_.File(name); }
  std::string Memory(const std::string& name) const {
    return File("mem/" + name);
  }
  void MakeMemoryDir() const {
    ASSERT_EQ(::mkdir(File("mem").c_str(), 0700), 0);
  }

  // The command line on the emulator's port.
  CliResult Cli(std::vector<std::string> args) {
    args.insert(args.begin(), {"--port", devsim_->port()});
    return RunCliProcess(args, File("cfg"));
  }
  // Without --port: the stored settings decide.
  CliResult CliStored(const std::vector<std::string>& args) {
    return RunCliProcess(args, File("cfg"));
  }
  void WriteStore(const std::string& ini) {
    ASSERT_EQ(std::system(("mkdir -p '" + File("cfg/ZARVENTIK") + "'").c_str()),
              0);
    std::ofstream(File("cfg/ZARVENTIK/TAKT-M.conf")) << ini;
  }

  // Commands the emulator received, payload text ("0A 00 ...").
  std::vector<std::string> Received() const {
    std::vector<std::string> commands;
    for (const std::string& line : ReadLines(File("frames.log"))) {
      if (line.rfind("RX ", 0) == 0) commands.push_back(line.substr(3));
    }
    return commands;
  }
  bool ReceivedOpcode(const std::string& opcode) const {
    const std::vector<std::string> r = Received();
    return std::any_of(r.begin(), r.end(), [&](const std::string& c) {
      return c.rfind(opcode, 0) == 0;
    });
  }

  // objcopy's reading of a HEX file as a flat binary image.
  Bytes Objcopy(const std::string& hex) {
    const std::string bin = hex + ".objcopy.bin";
    const std::string command = std::string(TAKT_OBJCOPY) +
                                " -I ihex -O binary '" + hex + "' '" + bin +
                                "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return ReadBytes(bin);
  }

  TempDir dir_;
  std::unique_ptr<DevsimProcess> devsim_;
};

TEST_F(CliE2eTest, InfoChipsAndOperations) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const CliResult info = Cli({"info"});
  EXPECT_EQ(info.status, 0) << info.err;
  EXPECT_EQ(info.out,
            "ТАКТ-М (виртуальный)\nВиртуальный программатор ТАКТ-М\n"
            "Эмулятор устройства на псевдотерминале\ntakt-m-devsim 0.1\n");
  const CliResult chips = Cli({"chips"});
  EXPECT_EQ(chips.status, 0);
  EXPECT_EQ(chips.out, "0\tDEMO-1K\n1\tDEMO-4K\n2\tDEMO-8K\n3\tDEMO-128K\n");
  const CliResult ops = Cli({"--chip", "demo-4k", "--json", "ops"});
  EXPECT_EQ(ops.status, 0) << ops.err;
  EXPECT_TRUE(Contains(ops.out, "\"chip\":\"DEMO-4K\",\"chip_index\":1"));
  EXPECT_TRUE(Contains(ops.out, "\"flash_size\":4096,\"eeprom_size\":256"));
  EXPECT_TRUE(Contains(ops.out,
                       "{\"code\":9,\"name\":\"Читать память "
                       "программ\",\"command\":\"read-flash\"}"));
  EXPECT_FALSE(Contains(ops.out, "\"command\":\"erase\""));  // not allowed
  EXPECT_TRUE(Contains(ops.out,
                       "\"locks\":[\"LOCK\"],\"fuses\":[\"CLK\","
                       "\"WDT\"],\"status\":\"ok\",\"exit\":0"));
  EXPECT_EQ(ops.out.back(), '\n');
}

TEST_F(CliE2eTest, WriteVerifyAndReadBackAsHexAndRaw) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const Bytes image = RandomBytes(5000, 1);
  WriteFile(File("image.bin"), image);
  const CliResult write =
      Cli({"--chip", "DEMO-8K", "write-flash", File("image.bin")});
  ASSERT_EQ(write.status, 0) << write.err;
  EXPECT_EQ(write.out, "Все верно.\n");
  // Not a terminal: plain progress lines, no carriage returns; the bytes
  // written and verified, with the speed.
  EXPECT_TRUE(
      Contains(write.err, "Записать память программ: 0% (0/10000 байт)"));
  EXPECT_TRUE(Contains(write.err,
                       "Записать память программ: 100% "
                       "(10000/10000 байт, "));
  EXPECT_TRUE(Contains(write.err, "/с, осталось 0:00)\n"));
  EXPECT_FALSE(Contains(write.err, "\r"));
  Bytes chip = ReadBytes(Memory("DEMO-8K.flash"));
  ASSERT_EQ(chip.size(), 8192u);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), chip.begin()));
  EXPECT_TRUE(std::all_of(chip.begin() + 5000, chip.end(),
                          [](uint8_t b) { return b == 0xFF; }));

  EXPECT_EQ(
      Cli({"--chip", "2", "--quiet", "verify-flash", File("image.bin")}).status,
      0);
  const CliResult hex =
      Cli({"--chip", "2", "--quiet", "read-flash", File("read.hex")});
  ASSERT_EQ(hex.status, 0) << hex.err;
  EXPECT_EQ(hex.out + hex.err, "");  // --quiet says nothing on success
  EXPECT_EQ(Objcopy(File("read.hex")), chip);
  const IntelHexResult ours = ReadIntelHex(ReadText(File("read.hex")));
  EXPECT_EQ(ours.image, chip);
  ASSERT_EQ(Cli({"--chip", "2", "read-flash", File("read.bin")}).status, 0);
  EXPECT_EQ(ReadBytes(File("read.bin")), chip);
}

TEST_F(CliE2eTest, HexOfThe128KiBChipEqualsItsMemory) {
  ASSERT_NO_FATAL_FAILURE(MakeMemoryDir());
  const Bytes chip = RandomBytes(131072, 2);
  WriteFile(Memory("DEMO-128K.flash"), chip);
  ASSERT_NO_FATAL_FAILURE(Start());
  const CliResult read =
      Cli({"--chip", "DEMO-128K", "--json", "read-flash", File("big.hex")});
  ASSERT_EQ(read.status, 0) << read.err;
  EXPECT_TRUE(Contains(read.out, "\"bytes\":131072"));
  const std::string text = ReadText(File("big.hex"));
  EXPECT_TRUE(Contains(text, ":020000040001F9\r\n"));
  EXPECT_EQ(Objcopy(File("big.hex")), chip);
}

TEST_F(CliE2eTest, EepromThroughEepFiles) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const Bytes image = RandomBytes(300, 3);
  const std::string hex = WriteIntelHex(image.data(), image.size());
  std::ofstream(File("data.eep"), std::ios::binary) << hex;
  const CliResult write =
      Cli({"--chip", "DEMO-8K", "write-eeprom", File("data.eep")});
  ASSERT_EQ(write.status, 0) << write.err;
  const Bytes eeprom = ReadBytes(Memory("DEMO-8K.eeprom"));
  ASSERT_EQ(eeprom.size(), 512u);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), eeprom.begin()));
  EXPECT_EQ(
      Cli({"--chip", "DEMO-8K", "verify-eeprom", File("data.eep")}).status, 0);
  ASSERT_EQ(Cli({"--chip", "DEMO-8K", "read-eeprom", File("back.eep")}).status,
            0);
  EXPECT_EQ(Objcopy(File("back.eep")), eeprom);
}

TEST_F(CliE2eTest, FuseAndLockBits) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const CliResult fuses =
      Cli({"--chip", "DEMO-8K", "write-fuses", "CLK1, WDT"});
  ASSERT_EQ(fuses.status, 0) << fuses.err;
  EXPECT_EQ(ReadBytes(Memory("DEMO-8K.fuses")), (Bytes{0, 1, 0, 1, 0, 0}));
  const CliResult read = Cli({"--chip", "DEMO-8K", "read-fuses"});
  EXPECT_EQ(read.out,
            "0\tCLK0\t0\n1\tCLK1\t1\n2\tBOOT\t0\n3\tWDT\t1\n"
            "4\tСохранять EEPROM\t0\n5\tСброс по питанию\t0\n");
  ASSERT_EQ(Cli({"--chip", "DEMO-8K", "write-locks", "Запрет записи"}).status,
            0);
  EXPECT_EQ(ReadBytes(Memory("DEMO-8K.locks")), (Bytes{0, 1}));
  const CliResult locks = Cli({"--chip", "DEMO-8K", "--json", "read-locks"});
  EXPECT_TRUE(Contains(locks.out,
                       "\"bits\":[{\"index\":0,\"name\":\"Запрет чтения\","
                       "\"ticked\":false},{\"index\":1,\"name\":\"Запрет "
                       "записи\",\"ticked\":true}]"));
  // A bit the chip does not have is a usage error; nothing is written.
  const size_t before = Received().size();
  const CliResult wrong = Cli({"--chip", "DEMO-8K", "write-locks", "LOCK9"});
  EXPECT_EQ(wrong.status, 2);
  EXPECT_TRUE(Contains(wrong.err, "Нет бита \"LOCK9\""));
  for (size_t i = before; i < Received().size(); ++i) {
    EXPECT_NE(Received()[i].substr(0, 2), "06");
  }
}

TEST_F(CliE2eTest, SignatureCalibrationAndErase) {
  ASSERT_NO_FATAL_FAILURE(Start());
  EXPECT_EQ(Cli({"--chip", "DEMO-8K", "signature"}).out,
            "Сигнатура: 5A 8 3 верна\n");
  EXPECT_EQ(Cli({"--chip", "DEMO-8K", "calibration"}).out,
            "Калибровочные байты: 9E 9F A0 A1\n");
  WriteFile(File("image.bin"), RandomBytes(1000, 4));
  ASSERT_EQ(Cli({"--chip", "DEMO-8K", "write-flash", File("image.bin")}).status,
            0);
  const CliResult erase = Cli({"--chip", "DEMO-8K", "erase"});
  EXPECT_EQ(erase.status, 0) << erase.err;
  const Bytes chip = ReadBytes(Memory("DEMO-8K.flash"));
  EXPECT_TRUE(std::all_of(chip.begin(), chip.end(),
                          [](uint8_t b) { return b == 0xFF; }));
}

// Help, version and the port list need neither a port nor a device.
TEST_F(CliE2eTest, HelpVersionAndPorts) {
  for (const char* help : {"-h", "--help"}) {
    const CliResult r = RunCliProcess({help}, File("cfg"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Использование: takt-m-cli", 0), 0u) << r.out;
    EXPECT_TRUE(Contains(r.out, "  ports "));
  }
  const CliResult version = RunCliProcess({"--version"}, File("cfg"));
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("takt-m-cli ") + TAKT_VERSION + "\n");

  // Whatever ports this machine has: one line each, three fields.
  const CliResult ports = RunCliProcess({"ports"}, File("cfg"));
  EXPECT_EQ(ports.status, 0) << ports.err;
  size_t from = 0;
  while (from < ports.out.size()) {
    const size_t end = ports.out.find('\n', from);
    ASSERT_NE(end, std::string::npos);
    const std::string line = ports.out.substr(from, end - from);
    EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 2) << line;
    from = end + 1;
  }
  const CliResult json = RunCliProcess({"--json", "ports"}, File("cfg"));
  EXPECT_EQ(json.out.rfind("{\"command\":\"ports\",\"ports\":[", 0), 0u)
      << json.out;
  EXPECT_TRUE(Contains(json.out, "\"status\":\"ok\",\"exit\":0"));
}

TEST_F(CliE2eTest, UsageErrorsExitWithTwo) {
  ASSERT_NO_FATAL_FAILURE(Start());
  EXPECT_EQ(Cli({}).status, 2);
  EXPECT_EQ(Cli({"--parity", "parity", "info"}).status, 2);
  const CliResult chip = Cli({"--chip", "NOPE", "signature"});
  EXPECT_EQ(chip.status, 2);
  EXPECT_TRUE(Contains(chip.err, "Нет микросхемы \"NOPE\"; есть: 0 DEMO-1K"));
  EXPECT_EQ(Cli({"signature"}).status, 2);  // four chips: which one?
  const CliResult op = Cli({"--chip", "DEMO-1K", "read-fuses"});
  EXPECT_EQ(op.status, 2);
  EXPECT_TRUE(Contains(op.err, "\"Читать FUSE биты\" не разрешена"));
}

TEST_F(CliE2eTest, NoDeviceExitsWithThree) {
  const CliResult missing =
      RunCliProcess({"--port", File("no-such-port"), "info"}, File("cfg"));
  EXPECT_EQ(missing.status, 3);
  EXPECT_TRUE(Contains(missing.err, "Невозможно открыть порт!"));
  // The device answers SVC_END and then falls silent: the watchdog.
  ASSERT_NO_FATAL_FAILURE(Start({"--silent-after", "1"}));
  const CliResult silent = Cli({"--json", "info"});
  EXPECT_EQ(silent.status, 3);
  EXPECT_TRUE(Contains(silent.out, "\"status\":\"no-device\",\"exit\":3"));
  EXPECT_TRUE(Contains(silent.out, "Программатор не отвечает"));
}

// A port that exists but may not be opened: the message, then a line that
// names the group owning the device, and exit status 3.
TEST_F(CliE2eTest, PortWithoutRightsNamesItsGroup) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run as another user";
  const RunAs nobody{65534, 65534};
  Pty pty;
  ASSERT_TRUE(pty.ok());
  const std::string port = pty.slave_name();
  // The directory the command line may read its settings from as nobody.
  const std::string config = File("cfg");

  // Owner only: joining a group would not help.
  ASSERT_EQ(::chmod(port.c_str(), 0600), 0);
  struct stat st;
  ASSERT_EQ(::stat(port.c_str(), &st), 0);
  const group* owner = ::getgrgid(st.st_gid);
  ASSERT_NE(owner, nullptr);
  CliResult r = RunCliProcess({"--port", port, "info"}, config, 30000, nobody);
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_TRUE(Contains(
      r.err, "takt-m-cli: Невозможно открыть порт! (" + port +
                 ")\ntakt-m-cli: Нет прав на чтение и запись " + port +
                 ": порт принадлежит группе " + owner->gr_name + ", но"))
      << r.err;

  // Open to a group, as udev leaves USB adapters (dialout on Debian).
  const group* dialout = ::getgrnam("dialout");
  if (dialout == nullptr) GTEST_SKIP() << "no group dialout here";
  const std::string name = dialout->gr_name;
  ASSERT_EQ(::chown(port.c_str(), 0, dialout->gr_gid), 0);
  ASSERT_EQ(::chmod(port.c_str(), 0660), 0);
  r = RunCliProcess({"--port", port, "--json", "info"}, config, 30000, nobody);
  EXPECT_EQ(r.status, 3);
  EXPECT_TRUE(Contains(r.out, "\"message\":\"Невозможно открыть порт! (" +
                                  port + ") Нет прав на чтение и запись " +
                                  port + ": порт доступен группе " + name +
                                  ". Добавьте пользователя в эту группу "
                                  "(sudo usermod -aG " +
                                  name + " nobody)"))
      << r.out;
}

// A port nobody answers on: --timeout ends the wait, not the 5 s watchdog.
TEST_F(CliE2eTest, TimeoutEndsTheWaitOnASilentPort) {
  Pty pty;
  ASSERT_TRUE(pty.ok() && pty.MakeRaw());
  const auto start = std::chrono::steady_clock::now();
  const CliResult r = RunCliProcess(
      {"--port", pty.slave_name(), "--timeout", "1", "info"}, File("cfg"));
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start)
                      .count();
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_FALSE(Contains(r.err, "Нет прав")) << r.err;  // the rights are there
  EXPECT_LT(ms, 4000) << "waited for the watchdog";
}

TEST_F(CliE2eTest, DeviceGoneDuringAReadExitsWithThree) {
  // Discovery and the chip selection take about 30 replies.
  ASSERT_NO_FATAL_FAILURE(Start({"--hangup-after", "40"}));
  const CliResult read =
      Cli({"--chip", "DEMO-8K", "read-flash", File("r.bin")});
  EXPECT_EQ(read.status, 3) << read.err;
  EXPECT_FALSE(std::ifstream(File("r.bin")).good());  // nothing half-saved
}

TEST_F(CliE2eTest, WrongSignatureExitsWithFourBeforeAnyWrite) {
  ASSERT_NO_FATAL_FAILURE(Start({"--wrong-signature"}));
  const CliResult signature = Cli({"--chip", "DEMO-8K", "signature"});
  EXPECT_EQ(signature.status, 4);
  EXPECT_TRUE(Contains(signature.err, "не верна!"));
  WriteFile(File("image.bin"), RandomBytes(1000, 5));
  EXPECT_EQ(Cli({"--chip", "DEMO-8K", "write-flash", File("image.bin")}).status,
            4);
  EXPECT_FALSE(ReceivedOpcode("07"));  // no erase
  EXPECT_FALSE(ReceivedOpcode("0A"));  // no write
}

TEST_F(CliE2eTest, VerifyMismatchExitsWithFiveAndTheAddress) {
  ASSERT_NO_FATAL_FAILURE(Start());
  Bytes image = RandomBytes(2000, 6);
  WriteFile(File("image.bin"), image);
  ASSERT_EQ(Cli({"--chip", "DEMO-8K", "write-flash", File("image.bin")}).status,
            0);
  image[1000] ^= 0x01;  // in the chunk at 896 = 0x380
  WriteFile(File("other.bin"), image);
  const CliResult text =
      Cli({"--chip", "DEMO-8K", "verify-flash", File("other.bin")});
  EXPECT_EQ(text.status, 5);
  EXPECT_TRUE(Contains(text.err, "Ошибка по адресу 380."));
  const CliResult json =
      Cli({"--chip", "DEMO-8K", "--json", "verify-flash", File("other.bin")});
  EXPECT_EQ(json.status, 5);
  EXPECT_TRUE(Contains(json.out, "\"address\":896,\"address_hex\":\"380\""));
  EXPECT_TRUE(Contains(json.out, "\"status\":\"verify-mismatch\",\"exit\":5"));
  // DEMO-4K cannot be erased: a second write that must set bits fails its
  // verify, and the write command says so.
  WriteFile(File("zero.bin"), Bytes(100, 0x00));
  WriteFile(File("ones.bin"), Bytes(100, 0x0F));
  ASSERT_EQ(Cli({"--chip", "DEMO-4K", "write-flash", File("zero.bin")}).status,
            0);
  EXPECT_EQ(Cli({"--chip", "DEMO-4K", "write-flash", File("ones.bin")}).status,
            5);
}

// The failing chunk read back: which bytes differ and which way their bits
// went, in the text, the JSON and the log line; short read replies are
// followed up; a chip written over without an erase gets the hint.
TEST_F(CliE2eTest, VerifyMismatchReportsTheChipsBytesAndBits) {
  ASSERT_NO_FATAL_FAILURE(Start({"--max-read", "100"}));
  Bytes image = RandomBytes(2000, 7);
  image[1000] = 0x00;
  image[1001] = 0xFF;
  WriteFile(File("image.bin"), image);
  ASSERT_EQ(Cli({"--chip", "DEMO-8K", "write-flash", File("image.bin")}).status,
            0);
  image[1000] = 0xF0;  // four bits the chip does not have
  image[1001] = 0x0F;  // four bits the chip has in excess
  WriteFile(File("other.bin"), image);
  const CliResult text =
      Cli({"--chip", "DEMO-8K", "verify-flash", File("other.bin")});
  EXPECT_EQ(text.status, 5);
  EXPECT_TRUE(Contains(
      text.err,
      "takt-m-cli: Ошибка по адресу 380. Попробуйте программировать снова!\n"
      "takt-m-cli: Блок с адреса 380, длина 224. Различающихся байт: 2. "
      "Битов 1→0 (в файле 1, в микросхеме 0): 4. "
      "Битов 0→1 (в файле 0, в микросхеме 1): 4. "
      "3E8: в файле F0, в микросхеме 00; 3E9: в файле 0F, в микросхеме FF.\n"))
      << text.err;
  EXPECT_FALSE(Contains(text.err, "не стерта"));
  // The read went out in pieces of 100 bytes and left the chip as it was.
  EXPECT_TRUE(ReceivedOpcode("09 80 03 00 00 E0"));
  EXPECT_TRUE(ReceivedOpcode("09 E4 03 00 00 7C"));
  const CliResult json =
      Cli({"--chip", "DEMO-8K", "--json", "--log", File("chips.log"),
           "verify-flash", File("other.bin")});
  EXPECT_EQ(json.status, 5);
  const std::string mismatches =
      "\"mismatches\":{\"address\":896,\"address_hex\":\"380\","
      "\"length\":224,\"read_back\":224,\"differing_bytes\":2,"
      "\"bits_cleared\":4,\"bits_set\":4,\"only_cleared_bits\":false,"
      "\"bytes\":[{\"address\":1000,\"file\":240,\"chip\":0},"
      "{\"address\":1001,\"file\":15,\"chip\":255}]}";
  EXPECT_TRUE(Contains(json.out, mismatches)) << json.out;
  const std::vector<std::string> log = ReadLines(File("chips.log"));
  ASSERT_EQ(log.size(), 1u);
  EXPECT_TRUE(Contains(log[0], mismatches)) << log[0];
  EXPECT_TRUE(Contains(log[0], "\"address\":896,\"address_hex\":\"380\""));

  // DEMO-4K cannot be erased: 0x0F over 0x00 keeps the zeros, every
  // difference is a bit the image has and the chip lost.
  WriteFile(File("zero.bin"), Bytes(100, 0x00));
  WriteFile(File("ones.bin"), Bytes(100, 0x0F));
  ASSERT_EQ(Cli({"--chip", "DEMO-4K", "write-flash", File("zero.bin")}).status,
            0);
  const CliResult unerased =
      Cli({"--chip", "DEMO-4K", "--json", "write-flash", File("ones.bin")});
  EXPECT_EQ(unerased.status, 5);
  EXPECT_TRUE(Contains(unerased.out,
                       "\"length\":100,\"read_back\":100,"
                       "\"differing_bytes\":100,\"bits_cleared\":400,"
                       "\"bits_set\":0,\"only_cleared_bits\":true,"))
      << unerased.out;
  EXPECT_TRUE(
      Contains(unerased.out, "{\"address\":7,\"file\":15,\"chip\":0}]"));
  EXPECT_TRUE(Contains(
      unerased.out,
      "\"hint\":\"Только сброшенные биты: микросхема, вероятно, не стерта.\""));
  const CliResult unerased_text =
      Cli({"--chip", "DEMO-4K", "verify-flash", File("ones.bin")});
  EXPECT_TRUE(Contains(unerased_text.err,
                       "7: в файле 0F, в микросхеме 00. Ещё различающихся "
                       "байт: 92. Только сброшенные биты: микросхема, "
                       "вероятно, не стерта.\n"))
      << unerased_text.err;
  EXPECT_EQ(ReadBytes(Memory("DEMO-4K.flash")).at(0), 0x00);
}

TEST_F(CliE2eTest, FileErrorsExitWithSix) {
  ASSERT_NO_FATAL_FAILURE(Start());
  EXPECT_EQ(Cli({"--chip", "2", "write-flash", File("none.bin")}).status, 6);
  std::ofstream(File("cut.hex")) << ":0400000001020304F2\r\n";  // no EOF record
  EXPECT_EQ(Cli({"--chip", "2", "write-flash", File("cut.hex")}).status, 6);
  std::ofstream(File("bad.hex")) << ":04000000010203040F\r\n:00000001FF\r\n";
  const CliResult bad = Cli({"--chip", "2", "verify-flash", File("bad.hex")});
  EXPECT_EQ(bad.status, 6);
  EXPECT_TRUE(Contains(bad.err, "bad.hex"));
  // Larger than the chip: refused before anything reaches it.
  WriteFile(File("big.bin"), RandomBytes(8193, 7));
  const CliResult big = Cli({"--chip", "2", "write-flash", File("big.bin")});
  EXPECT_EQ(big.status, 6);
  EXPECT_TRUE(Contains(big.err,
                       "Файл больше памяти программ микросхемы: 8193 байт, "
                       "память 8192 байт. Ничего не записано."));
  EXPECT_EQ(Cli({"--chip", "2", "verify-flash", File("big.bin")}).status, 6);
  EXPECT_FALSE(ReceivedOpcode("07"));
  EXPECT_FALSE(ReceivedOpcode("0A"));
  // A read that cannot be saved.
  const CliResult unsaved =
      Cli({"--chip", "2", "read-eeprom", File("no/such/dir/e.bin")});
  EXPECT_EQ(unsaved.status, 6);
  EXPECT_TRUE(Contains(unsaved.err, "Не удалось сохранить файл \"" +
                                        File("no/such/dir/e.bin") +
                                        "\". Нет такого файла или папки"))
      << unsaved.err;
}

// A pipe or a folder as the input is refused before the port is opened;
// a blocking open of a pipe without a writer would never return.
TEST_F(CliE2eTest, APipeOrAFolderAsInputIsRefusedAtOnce) {
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_EQ(::mkfifo(File("pipe.hex").c_str(), 0600), 0);
  ASSERT_EQ(::mkdir(File("folder.bin").c_str(), 0700), 0);
  const struct {
    std::string path;
    const char* reason;
  } cases[] = {{File("pipe.hex"), "Это не обычный файл"},
               {File("folder.bin"), "Это папка"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const CliResult r = RunCliProcess(
        {"--port", devsim_->port(), "--chip", "2", "write-flash", c.path},
        File("cfg"), 20000);
    EXPECT_EQ(r.status, 6);
    EXPECT_EQ(r.err, "takt-m-cli: Не удалось открыть файл \"" + c.path +
                         "\". " + c.reason + "\n");
  }
  EXPECT_TRUE(Received().empty());
}

// The write reloads the working file after the first load; emptied in
// between, it must not get the chip erased.
// The file changes between the first load and the write's reload: emptied,
// or grown past the chip's memory. Either way nothing reaches the chip.
TEST_F(CliE2eTest, AFileChangedBeforeTheReloadErasesNothing) {
  struct Case {
    Bytes reloaded;
    const char* message;
  };
  const Case cases[] = {
      {Bytes(), "Рабочий файл пуст. Запись отменена!"},
      {RandomBytes(9000, 12), "Ничего не записано."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    ASSERT_NO_FATAL_FAILURE(MakeMemoryDir());
    const Bytes chip = RandomBytes(8192, 9);
    WriteFile(Memory("DEMO-8K.flash"), chip);
    // Slow replies leave seconds between the first load and the reload.
    ASSERT_NO_FATAL_FAILURE(Start({"--latency-ms", "100"}));
    WriteFile(File("image.bin"), RandomBytes(1000, 10));
    CliResult r;
    std::thread cli([&] {
      r = Cli({"--chip", "DEMO-8K", "write-flash", File("image.bin")});
    });
    // The first frame follows the first load.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (Received().empty() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    WriteFile(File("image.bin"), c.reloaded);
    cli.join();
    EXPECT_EQ(r.status, 6) << r.err;
    EXPECT_TRUE(Contains(r.err, c.message)) << r.err;
    EXPECT_FALSE(ReceivedOpcode("07"));  // no erase
    EXPECT_FALSE(ReceivedOpcode("0A"));  // no write
    EXPECT_EQ(ReadBytes(Memory("DEMO-8K.flash")), chip);
    devsim_.reset();
    std::filesystem::remove_all(File("mem"));
    std::filesystem::remove(File("frames.log"));
  }
}

// A read is saved as the window saves: through a link, into a pipe as a
// redirection would, and onto standard output with nothing else there.
TEST_F(CliE2eTest, ReadsSavedThroughLinksPipesAndStandardOutput) {
  ASSERT_NO_FATAL_FAILURE(MakeMemoryDir());
  const Bytes chip = RandomBytes(8192, 11);
  WriteFile(Memory("DEMO-8K.flash"), chip);
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_EQ(::symlink("target.hex", File("link.hex").c_str()), 0);
  const CliResult linked =
      Cli({"--chip", "DEMO-8K", "read-flash", File("link.hex")});
  ASSERT_EQ(linked.status, 0) << linked.err;
  EXPECT_EQ(Objcopy(File("target.hex")), chip);
  struct stat st {};
  ASSERT_EQ(::lstat(File("link.hex").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));

  ASSERT_EQ(::mkfifo(File("pipe.hex").c_str(), 0600), 0);
  const CliResult no_reader =
      Cli({"--chip", "DEMO-8K", "read-flash", File("pipe.hex")});
  EXPECT_EQ(no_reader.status, 6);
  EXPECT_TRUE(Contains(no_reader.err, "нет читающего процесса"))
      << no_reader.err;
  std::string text;
  std::thread reader([&] { text = ReadText(File("pipe.hex")); });
  const CliResult piped =
      Cli({"--chip", "DEMO-8K", "read-flash", File("pipe.hex")});
  // Should the save never have opened the pipe, the reader's open returns.
  const int unblock = ::open(File("pipe.hex").c_str(), O_WRONLY | O_NONBLOCK);
  if (unblock >= 0) ::close(unblock);
  reader.join();
  EXPECT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(ReadIntelHex(text).image, chip);

  // The child's own standard output, which is this test's pipe.
  const CliResult out =
      Cli({"--chip", "DEMO-8K", "read-flash", "/proc/self/fd/1"});
  EXPECT_EQ(out.status, 0) << out.err;
  EXPECT_TRUE(out.out == std::string(chip.begin(), chip.end()));
  EXPECT_TRUE(Contains(out.err, "Прочитано 8192 байт в /proc/self/fd/1"));
}

TEST_F(CliE2eTest, RetryLimitExitsWithOne) {
  ASSERT_NO_FATAL_FAILURE(Start({"--drop-replies", "1"}));
  const CliResult r = Cli({"info"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Contains(r.err, "Не могу выполнить команду!"));
  const CliResult json = Cli({"--json", "info"});
  EXPECT_EQ(json.status, 1);
  EXPECT_TRUE(Contains(json.out,
                       "\"warnings\":[\"Не могу выполнить команду! "
                       "Очередь команд очищена.\"]"));
}

// A device that gives its name but then only acknowledges: the retry limit
// empties the queue with the chip list missing, which must not pass for a
// device with no chips.
TEST_F(CliE2eTest, DiscoveryCutShortByTheRetryLimitFails) {
  Pty pty;
  ASSERT_TRUE(pty.ok() && pty.MakeRaw());
  std::atomic<bool> done{false};
  std::thread device([&] {
    Bytes in;
    while (!done) {
      const Bytes got = pty.Read(1, std::chrono::milliseconds(20));
      if (got.empty()) pty.Write(Ack());  // idle: the program may send
      in.insert(in.end(), got.begin(), got.end());
      // Whole command frames: preamble, length, sum, payload, sum.
      while (in.size() >= 6 && in.size() >= 7u + in[4]) {
        const uint8_t opcode = in[6];
        in.erase(in.begin(), in.begin() + 7 + in[4]);
        if (opcode == 0xFF) pty.Write(Frame({0xFF}));
        if (opcode == 0xFE) pty.Write(Frame({0xFE, 4, 'T', 'E', 'S', 'T'}));
        pty.Write(Ack());
      }
    }
  });
  const CliResult r =
      RunCliProcess({"--port", pty.slave_name(), "chips"}, File("cfg"), 30000);
  done = true;
  device.join();
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_TRUE(Contains(r.err, "Не могу выполнить команду!")) << r.err;
}

// The window's stored port and options are the defaults; flags override.
TEST_F(CliE2eTest, StoredSettingsAreTheDefaults) {
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_NO_FATAL_FAILURE(WriteStore("[General]\nComPort=" + devsim_->port() +
                                     "\nBitrate=56000\nParity=-1\nCheck2=0\n"
                                     "Check3=0\nCheck11=0\n"));
  WriteFile(File("image.bin"), RandomBytes(500, 8));
  const CliResult plain = CliStored(
      {"--chip", "DEMO-8K", "--json", "write-flash", File("image.bin")});
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_TRUE(Contains(plain.out, "\"verified\":false"));
  EXPECT_FALSE(ReceivedOpcode("07"));  // "стирать все" off
  EXPECT_FALSE(ReceivedOpcode("0B"));  // "верифицировать" off
  EXPECT_FALSE(ReceivedOpcode("06"));  // "ставить биты защиты" off
  const CliResult verified =
      CliStored({"--chip", "DEMO-8K", "--verify", "--json", "write-flash",
                 File("image.bin")});
  ASSERT_EQ(verified.status, 0) << verified.err;
  EXPECT_TRUE(Contains(verified.out, "\"verified\":true"));
  EXPECT_TRUE(ReceivedOpcode("0B"));
  EXPECT_FALSE(ReceivedOpcode("07"));
}

}  // namespace
}  // namespace taktm::testing
