// The link's timing matrix: every operation of the program on DEMO-8K under
// each misbehaviour of a real line (an acknowledgement crossing every 2nd,
// 3rd or 7th command, every 5th command answered twice, replies batched
// before their acknowledgements), with the device idling at 5 ms and at
// 200 ms. Each run is judged by what the chip holds (the emulator's memory
// files) and by what the program shows, never by the program's own verify
// alone; and by the frames it sent per command: a crossing, or a device
// that also acknowledges on receipt, costs none. Each cell is a test of its
// own, so ctest runs
// them side by side; scripts/timing-matrix runs the whole matrix and sums it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "e2e/e2e_fixture.h"
#include "programming/opcodes.h"
#include "programming/programming_texts.h"

namespace taktm::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;

constexpr int kDemo8K = 2;

struct Condition {
  const char* name;
  std::vector<std::string> args;
};

// Batched replies need commands waiting at the device; since a crossing no
// longer makes the program send the command again, the program keeps none
// waiting, and the Batch cell shows that it does not (no BATCH in the log).
const Condition kConditions[] = {
    {"Cross2", {"--cross-every", "2"}},
    {"Cross3", {"--cross-every", "3"}},
    {"Cross7", {"--cross-every", "7"}},
    {"Double5", {"--double-reply-every", "5"}},
    {"Batch", {"--reply-batch", "--cross-every", "4", "--latency-ms", "3"}},
    {"AckOnReceipt", {"--ack-on-receipt"}},
    {"Cross1", {"--cross-every", "1"}},
};
const int kIdlePeriods[] = {5, 200};

struct Cell {
  Condition condition;
  int ack_ms;
};

std::vector<Cell> AllCells() {
  std::vector<Cell> cells;
  for (const Condition& c : kConditions) {
    for (int ms : kIdlePeriods) cells.push_back({c, ms});
  }
  return cells;
}

// How gtest (and so ctest) shows a cell: its options.
void PrintTo(const Cell& cell, std::ostream* out) {
  for (const std::string& arg : cell.condition.args) *out << arg << ' ';
  *out << "--ack-ms " << cell.ack_ms;
}

std::string CellName(const ::testing::TestParamInfo<Cell>& info) {
  return std::string(info.param.condition.name) + "Ack" +
         std::to_string(info.param.ack_ms) + "ms";
}

std::vector<bool> Ticks(const BitRows& rows) {
  std::vector<bool> ticks;
  for (int i = 0; i < rows.count(); ++i) ticks.push_back(rows.row(i).ticked);
  return ticks;
}

class TimingMatrixTest : public E2eTest,
                         public ::testing::WithParamInterface<Cell> {
 protected:
  // Lines of the frame log that begin with `prefix`.
  int64_t LogCount(const std::string& prefix) const {
    const std::vector<std::string> lines = LogLines();
    return std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
      return l.rfind(prefix, 0) == 0;
    });
  }
  // A write of `image` from a working file of its own.
  void UseWorkingFile(const Bytes& image, const std::string& name) {
    WriteFile(dir_.File(name), image);
    host().core().working_file().SetWorkingFile(dir_.File(name));
  }
  // A failed cell shows the end of the device's log, acknowledgements
  // included, where the link went wrong.
  void TearDown() override {
    if (HasFailure()) {
      std::string log;
      for (const std::string& line : LogLines()) log += line + "\n";
      std::printf("[ log      ]\n%s[ program  ]\n%s", log.c_str(),
                  trace_.c_str());
    }
    E2eTest::TearDown();
  }
  // What the program received and sent, chunk by chunk, for a failed cell.
  void TraceLink() {
    const auto hex = [](const uint8_t* b, uint16_t n) {
      return HexBytes(Bytes(b, b + n));
    };
    host().on_receive = [this, hex](const uint8_t* b, uint16_t n) {
      trace_ += "in  " + hex(b, n) + "\n";
    };
    host().on_write = [this, hex](const uint8_t* b, uint16_t n) {
      trace_ += "out " + hex(b + 6, static_cast<uint16_t>(n - 7)) + "\n";
    };
  }
  std::string trace_;
  void ExpectNoFailureShown() {
    EXPECT_FALSE(programmer().status_error()) << programmer().status_text();
    EXPECT_THAT(host().warnings(), IsEmpty());
  }
};

TEST_P(TimingMatrixTest, EveryOperationLeavesTheChipAsTheProgramSays) {
  const Cell& cell = GetParam();
  std::vector<std::string> args = cell.condition.args;
  args.insert(args.end(),
              {"--ack-ms", std::to_string(cell.ack_ms), "--log-acks"});
  ASSERT_NO_FATAL_FAILURE(Start(args));
  TraceLink();

  // Discovery with its about lines; the chip with its bit names.
  ASSERT_NO_FATAL_FAILURE(Discover(4));
  ExpectBuiltInDeviceShown();
  ASSERT_NO_FATAL_FAILURE(SelectChip(kDemo8K));
  EXPECT_EQ(programmer().FlashSize(), 8192u);
  EXPECT_EQ(programmer().EepromSize(), 512u);
  EXPECT_EQ(programmer().operation_rows().size(), 14u);
  const BitRows& locks = programmer().lock_bits();
  const BitRows& fuses = programmer().fuse_bits();
  ASSERT_EQ(locks.count(), 2);
  EXPECT_EQ(locks.row(0).caption, "Запрет чтения");
  EXPECT_EQ(locks.row(1).caption, "Запрет записи");
  ASSERT_EQ(fuses.count(), 6);
  const char* const kFuseNames[] = {
      "CLK0", "CLK1", "BOOT", "WDT", "Сохранять EEPROM", "Сброс по питанию"};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(fuses.row(i).caption, kFuseNames[i]);

  // Program memory, every option on: signature, erase, signature, the
  // chunks, their verify, every lock bit.
  const Bytes image = RandomBytes(8192, 100 + cell.ack_ms);
  UseWorkingFile(image, "image.bin");
  ASSERT_NO_FATAL_FAILURE(Run(OP_WRITE_FLASH, kLongWaitMs));
  EXPECT_TRUE(ReadBytes(MemoryFile("DEMO-8K.flash")) == image);
  EXPECT_EQ(ReadBytes(MemoryFile("DEMO-8K.locks")), (Bytes{1, 1}));
  EXPECT_EQ(programmer().status_text(), kAllRight);
  ExpectNoFailureShown();

  // Again without verify and without the lock bits: only the chip says
  // whether every chunk arrived.
  Bytes second = RandomBytes(8192, 200 + cell.ack_ms);
  std::fill(second.begin() + 2240, second.begin() + 2464, 0xFF);  // a chunk
  UseWorkingFile(second, "second.bin");
  host().SetCheck(3, false);
  host().SetCheck(11, false);
  ASSERT_NO_FATAL_FAILURE(Run(OP_WRITE_FLASH, kLongWaitMs));
  host().SetCheck(3, true);
  host().SetCheck(11, true);
  EXPECT_TRUE(ReadBytes(MemoryFile("DEMO-8K.flash")) == second);
  EXPECT_EQ(ReadBytes(MemoryFile("DEMO-8K.locks")), (Bytes{0, 0}));
  EXPECT_NE(programmer().status_text(), kAllRight);
  ExpectNoFailureShown();

  // Read back into the buffer.
  host().core().buffer().Clear();
  ASSERT_NO_FATAL_FAILURE(Run(OP_READ_FLASH, kLongWaitMs));
  EXPECT_TRUE(host().core().buffer().bytes() == second);

  // EEPROM: erase, write, verify.
  const Bytes eeprom = RandomBytes(512, 300 + cell.ack_ms);
  UseWorkingFile(eeprom, "eeprom.bin");
  ASSERT_NO_FATAL_FAILURE(Run(OP_WRITE_EEPROM));
  EXPECT_EQ(ReadBytes(MemoryFile("DEMO-8K.eeprom")), eeprom);
  EXPECT_EQ(programmer().status_text(), kAllRight);
  ExpectNoFailureShown();

  // Fuse bits written from the dialog's rows, then read back into them.
  BitRows& fuse_rows = programmer().fuse_bits();
  ASSERT_NO_FATAL_FAILURE(Run(OP_WRITE_FUSES));
  const std::vector<bool> pattern = {false, true, true, false, true, false};
  for (int i = 0; i < 6; ++i) fuse_rows.SetRowTicked(i, pattern[i]);
  programmer().Button1Click(BitKind::kFuse);
  ASSERT_TRUE(host().RunUntilIdle(kShortWaitMs));
  EXPECT_EQ(ReadBytes(MemoryFile("DEMO-8K.fuses")), (Bytes{0, 1, 1, 0, 1, 0}));
  for (int i = 0; i < 6; ++i) fuse_rows.SetRowTicked(i, !pattern[i]);
  ASSERT_NO_FATAL_FAILURE(Run(OP_READ_FUSES));
  EXPECT_EQ(Ticks(fuse_rows), pattern);

  // One lock bit.
  BitRows& lock_rows = programmer().lock_bits();
  ASSERT_NO_FATAL_FAILURE(Run(OP_WRITE_LOCKS));
  lock_rows.SetRowTicked(0, false);
  lock_rows.SetRowTicked(1, true);
  programmer().Button1Click(BitKind::kLock);
  ASSERT_TRUE(host().RunUntilIdle(kShortWaitMs));
  EXPECT_EQ(ReadBytes(MemoryFile("DEMO-8K.locks")), (Bytes{0, 1}));
  ExpectNoFailureShown();
  // No success was ever claimed over a chip that did not hold the image:
  // "Все верно." came twice, for the two verified writes.
  const std::vector<std::string>& shown = host().status_history();
  int claims = 0;
  for (size_t i = 0; i < shown.size(); ++i) {
    claims += shown[i] == kAllRight && (i == 0 || shown[i - 1] != kAllRight);
  }
  EXPECT_EQ(claims, 2);

  // Frames: one per command. The bound is loose enough for a loaded
  // machine (an idle acknowledgement may cross a command of a device that
  // also acknowledges on receipt now and then) and tight enough to catch a
  // doubled rhythm (+46 % and more). TX CROSS counts the crossings.
  const int64_t commands = host().commands_done();
  const int64_t frames = host().frames_sent();
  const int64_t crossings = LogCount("TX CROSS");
  const int64_t beyond = std::max<int64_t>(0, frames - commands);
  std::printf(
      "[ matrix   ] %s: commands=%lld frames=%lld crossings=%lld beyond=%lld "
      "batches=%lld (%.4f frames per command)\n",
      CellName(::testing::TestParamInfo<Cell>(cell, 0)).c_str(),
      static_cast<long long>(commands), static_cast<long long>(frames),
      static_cast<long long>(crossings), static_cast<long long>(beyond),
      static_cast<long long>(LogCount("BATCH")),
      1.0 + static_cast<double>(beyond) / static_cast<double>(commands));
  RecordProperty("commands", static_cast<int>(commands));
  RecordProperty("frames", static_cast<int>(frames));
  RecordProperty("crossings", static_cast<int>(crossings));
  EXPECT_LE(beyond, commands / 10 + 3);
  if (cell.condition.args[0] == std::string("--cross-every")) {
    EXPECT_GT(crossings, 0) << "no crossing happened";
  } else if (cell.condition.args[0] == std::string("--double-reply-every")) {
    EXPECT_GT(LogCount("TX DOUBLE"), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Cells, TimingMatrixTest,
                         ::testing::ValuesIn(AllCells()), CellName);

}  // namespace
}  // namespace taktm::testing
