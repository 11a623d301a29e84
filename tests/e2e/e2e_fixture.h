// Test fixture for the program core against takt-m-devsim: starts the
// emulator with a frame log and a memory folder in a fresh temporary folder,
// opens its port through the headless host, and offers the user's steps
// (discover, choose a chip, choose an operation) and readers for the log.
#ifndef TAKT_TESTS_E2E_E2E_FIXTURE_H_
#define TAKT_TESTS_E2E_E2E_FIXTURE_H_

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "harness/devsim_process.h"
#include "harness/headless_host.h"
#include "harness/random_bytes.h"
#include "harness/temp_dir.h"
#include "programming/operation_table.h"

namespace taktm::testing {

using Bytes = std::vector<uint8_t>;

// Bounds of the waits: generous, since a loaded machine may be slow; a
// passing run never comes near them.
inline constexpr int kShortWaitMs = 10000;
inline constexpr int kLongWaitMs = 60000;

inline constexpr char kDeviceName[] = "ТАКТ-М (виртуальный)";
// The built-in catalogue's chips and about lines, as the program shows them.
inline const std::vector<std::string> kBuiltInChips = {"DEMO-1K", "DEMO-4K",
                                                       "DEMO-8K", "DEMO-128K"};
inline const std::vector<std::string> kBuiltInAboutLines = {
    "Виртуальный программатор ТАКТ-М", "Эмулятор устройства на псевдотерминале",
    "takt-m-devsim 0.1"};

// Upper-case hexadecimal bytes separated by blanks, as the frame log has them.
inline std::string HexBytes(const Bytes& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (uint8_t b : bytes) {
    if (!text.empty()) text += ' ';
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
  }
  return text;
}

// A data command as the log shows it: opcode, address (4 bytes, little-
// endian), count and the image's bytes at that address.
inline std::string DataCommandText(uint8_t opcode, uint32_t address,
                                   const Bytes& image, uint32_t count) {
  Bytes c = {opcode};
  for (int i = 0; i < 4; ++i) {
    c.push_back(static_cast<uint8_t>(address >> (8 * i)));
  }
  c.push_back(static_cast<uint8_t>(count));
  c.insert(c.end(), image.begin() + address, image.begin() + address + count);
  return HexBytes(c);
}

class E2eTest : public ::testing::Test {
 protected:
  // Starts the emulator with `args` plus a log and a memory folder, and the
  // program's port on it. Files put in memory_dir() beforehand fill the
  // chips' memories.
  void Start(std::vector<std::string> args = {}) {
    args.insert(args.end(),
                {"--log", log_path(), "--memory-dir", memory_dir()});
    devsim_ = std::make_unique<DevsimProcess>(args);
    ASSERT_FALSE(devsim_->port().empty()) << "takt-m-devsim did not start";
    host_ = std::make_unique<HeadlessHost>(devsim_->port());
    ASSERT_TRUE(host_->open()) << host_->open_error();
  }

  void TearDown() override {
    host_.reset();  // the port closes before the emulator stops
    devsim_.reset();
  }

  std::string log_path() const { return dir_.File("frames.log"); }
  std::string memory_dir() const { return dir_.File("mem"); }
  std::string MemoryFile(const std::string& name) const {
    return memory_dir() + "/" + name;
  }
  // Creates the memory folder so a test can fill chips before the start.
  void MakeMemoryDir() const {
    ASSERT_EQ(::mkdir(memory_dir().c_str(), 0700), 0);
  }

  HeadlessHost& host() { return *host_; }
  ChipProgrammer& programmer() { return host_->programmer(); }

  // The built-in device found: its name, chips and about lines shown whole.
  void ExpectBuiltInDeviceShown() {
    EXPECT_EQ(programmer().caption(), kDeviceName);
    EXPECT_EQ(programmer().chip_rows(), kBuiltInChips);
    EXPECT_EQ(host().about_lines(), kBuiltInAboutLines);
  }

  // The log's lines, and the payloads of the commands the emulator received
  // intact ("RX ..."), in order.
  std::vector<std::string> LogLines() const { return ReadLines(log_path()); }
  std::vector<std::string> Received() const {
    std::vector<std::string> commands;
    for (const std::string& line : LogLines()) {
      if (line.rfind("RX ", 0) == 0) commands.push_back(line.substr(3));
    }
    return commands;
  }
  // The commands received since the log had `from` lines.
  std::vector<std::string> ReceivedSince(size_t from) const {
    const std::vector<std::string> lines = LogLines();
    std::vector<std::string> commands;
    for (size_t i = from; i < lines.size(); ++i) {
      if (lines[i].rfind("RX ", 0) == 0) commands.push_back(lines[i].substr(3));
    }
    return commands;
  }
  size_t LogSize() const { return LogLines().size(); }

  // The main window shown, then every discovery reply handled: the chip
  // list holds `chips` rows and nothing is left in the queue.
  void Discover(size_t chips) {
    host_->FormShow();
    ASSERT_TRUE(host_->RunUntil(
        [&] {
          return programmer().chip_rows().size() == chips &&
                 host_->queue().empty();
        },
        kShortWaitMs))
        << "discovery did not finish; caption " << programmer().caption();
  }

  // The user picks chip `row` and waits until its operations, bits and
  // sizes have arrived.
  void SelectChip(int row) {
    chip_row_ = row;
    programmer().ListBox1Click(row);
    ASSERT_TRUE(host_->RunUntilIdle(kShortWaitMs)) << "chip selection hung";
  }

  void DiscoverAndSelect(size_t chips, int row) {
    ASSERT_NO_FATAL_FAILURE(Discover(chips));
    ASSERT_NO_FATAL_FAILURE(SelectChip(row));
  }

  // The user chooses operation `code` for the selected chip; the queued
  // sequence is not waited for.
  void Choose(int code) {
    ASSERT_TRUE(programmer().IsOperationAllowed(code))
        << "no operation " << OperationName(code);
    programmer().RunOperation(chip_row_, code);
  }
  // Chooses and waits until every command of the sequence is answered or
  // dropped.
  void Run(int code, int ms = kShortWaitMs) {
    ASSERT_NO_FATAL_FAILURE(Choose(code));
    ASSERT_TRUE(host_->RunUntilIdle(ms))
        << OperationName(code) << " did not finish";
  }

  TempDir dir_;
  std::unique_ptr<DevsimProcess> devsim_;
  std::unique_ptr<HeadlessHost> host_;
  int chip_row_ = -1;
};

}  // namespace taktm::testing

#endif  // TAKT_TESTS_E2E_E2E_FIXTURE_H_
