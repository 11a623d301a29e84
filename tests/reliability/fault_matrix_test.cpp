// The fault matrix: the program core on TComm32 against takt-m-devsim with
// each of its fault options, one test per row, each asserting the row's
// expected outcome. After every write the chip's memory file is compared
// with the image itself, not only through the program's verify.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "e2e/e2e_fixture.h"
#include "programming/programming_texts.h"

namespace taktm::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;
using Clock = std::chrono::steady_clock;

constexpr int kDemo8K = 2;
constexpr uint32_t kFlashSize = 8192;
constexpr uint32_t kChunk = 224;
constexpr int kWrite = OP_WRITE_FLASH;
constexpr int kVerify = OP_VERIFY_FLASH;
// Replies before an operation on DEMO-8K: discovery (11) and the selection
// of the chip (15). A write then has the chip selection, the signature,
// the erase and the second signature before its first data chunk.
constexpr int kRepliesBeforeFirstChunk = 11 + 15 + 4;
// Where the silent and hang-up rows stop the device: ten chunks written.
constexpr int kMidWrite = kRepliesBeforeFirstChunk + 10;
// The idle check: CPU time of this process over this long an idle loop.
constexpr int kIdleMs = 3000;

double CpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) /
             1e6;
}

class FaultMatrixTest : public E2eTest {
 protected:
  // Starts the emulator with `faults`, finds DEMO-8K and makes a random
  // image the working file.
  void StartWith(std::vector<std::string> faults, uint32_t seed) {
    image_ = RandomBytes(kFlashSize, seed);
    WriteFile(dir_.File("image.bin"), image_);
    faults.insert(faults.end(), {"--ack-ms", "50"});
    ASSERT_NO_FATAL_FAILURE(Start(faults));
    ASSERT_NO_FATAL_FAILURE(DiscoverAndSelect(4, kDemo8K));
    host().core().working_file().SetWorkingFile(dir_.File("image.bin"));
  }

  Bytes Chip() const { return ReadBytes(MemoryFile("DEMO-8K.flash")); }

  // The write ran to its end: verified, nothing warned, and the chip holds
  // the image byte for byte.
  void ExpectWrittenAndVerified() {
    EXPECT_EQ(programmer().status_text(), kAllRight);
    EXPECT_FALSE(programmer().status_error());
    EXPECT_THAT(host().warnings(), IsEmpty());
    EXPECT_TRUE(Chip() == image_) << "the chip's memory differs from the image";
  }

  size_t CountLog(const std::string& prefix) const {
    const std::vector<std::string> lines = LogLines();
    return static_cast<size_t>(std::count_if(
        lines.begin(), lines.end(),
        [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
  }

  // The device stops mid-write (silence or hang-up): it is lost within the
  // watchdog's 5 s of the last byte received, the lists are emptied, no
  // success is shown, and the idle program then uses under 5 % of a core.
  void ExpectLostAndIdle() {
    Clock::time_point last_byte = Clock::now();
    host().on_receive = [&last_byte](const uint8_t*, uint16_t) {
      last_byte = Clock::now();
    };
    ASSERT_NO_FATAL_FAILURE(Choose(kWrite));
    ASSERT_TRUE(host().RunUntil(
        [&] { return programmer().caption() == kNotConnectedCaption; },
        kWatchdogMs + kShortWaitMs))
        << "the device was never declared lost";
    const auto lost_after =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() -
                                                              last_byte);
    host().on_receive = nullptr;
    std::printf("lost %lld ms after the last byte\n",
                static_cast<long long>(lost_after.count()));
    // The watchdog runs 5,000 ms from the last acknowledgement, which came
    // before the last reply; the margin is for a loaded machine.
    EXPECT_LE(lost_after.count(), kWatchdogMs + 1000);

    EXPECT_THAT(programmer().chip_rows(), IsEmpty());
    EXPECT_THAT(programmer().operation_rows(), IsEmpty());
    EXPECT_THAT(host().status_history(), Not(Contains(kAllRight)));
    EXPECT_FALSE(host().queue().progress().visible);

    const double cpu_before = CpuSeconds();
    const Clock::time_point wall_before = Clock::now();
    host().RunFor(kIdleMs);
    const double cpu = CpuSeconds() - cpu_before;
    const double wall =
        std::chrono::duration<double>(Clock::now() - wall_before).count();
    std::printf("idle afterwards: %.1f ms of CPU in %.0f ms (%.2f %%)\n",
                cpu * 1000, wall * 1000, 100 * cpu / wall);
    EXPECT_LT(cpu / wall, 0.05);
  }

  Bytes image_;
};

// Garbage bytes before every second reply: skipped by the parser.
TEST_F(FaultMatrixTest, NoiseBetweenFramesStillWritesAndVerifies) {
  ASSERT_NO_FATAL_FAILURE(StartWith({"--noise", "2", "--seed", "7"}, 21));
  ASSERT_NO_FATAL_FAILURE(Run(kWrite));
  ASSERT_NO_FATAL_FAILURE(ExpectWrittenAndVerified());
  EXPECT_GT(CountLog("TX NOISE"), 30u);
}

// Every fourth reply has a wrong payload sum: dropped, the command is sent
// again, and the write completes.
TEST_F(FaultMatrixTest, CorruptedRepliesAreRetriedAndTheWriteCompletes) {
  ASSERT_NO_FATAL_FAILURE(StartWith({"--corrupt-replies", "4"}, 22));
  ASSERT_NO_FATAL_FAILURE(Run(kWrite));
  ASSERT_NO_FATAL_FAILURE(ExpectWrittenAndVerified());
  EXPECT_GT(CountLog("TX CORRUPT"), 15u);
}

// Every fifth reply never comes: the command goes out again at the next
// acknowledgement. The chip gets every chunk once, in order: the write
// commands, retries folded, walk the image chunk by chunk.
TEST_F(FaultMatrixTest, DroppedRepliesSkipAndRepeatNoChunk) {
  ASSERT_NO_FATAL_FAILURE(StartWith({"--drop-replies", "5"}, 23));
  const size_t before = LogSize();
  ASSERT_NO_FATAL_FAILURE(Run(kWrite));
  ASSERT_NO_FATAL_FAILURE(ExpectWrittenAndVerified());
  EXPECT_GT(CountLog("TX DROPPED"), 15u);

  std::vector<std::string> writes;  // distinct in a row
  for (const std::string& c : ReceivedSince(before)) {
    if (c.rfind("0A ", 0) == 0 && (writes.empty() || writes.back() != c)) {
      writes.push_back(c);
    }
  }
  std::vector<std::string> expected;
  for (uint32_t a = 0; a < kFlashSize; a += kChunk) {
    expected.push_back(
        DataCommandText(0x0A, a, image_, std::min(kChunk, kFlashSize - a)));
  }
  EXPECT_TRUE(writes == expected) << "chunks skipped, repeated or reordered";
}

// The device falls silent after the tenth chunk of a write.
TEST_F(FaultMatrixTest, SilentDeviceMidWriteIsLostWithoutBusyLoop) {
  ASSERT_NO_FATAL_FAILURE(
      StartWith({"--silent-after", std::to_string(kMidWrite)}, 24));
  ASSERT_NO_FATAL_FAILURE(ExpectLostAndIdle());
  EXPECT_THAT(host().warnings(), IsEmpty());
  EXPECT_EQ(CountLog("RX 0A "), 10u);
}

// The pseudo-terminal is closed after the tenth chunk of a write: the port
// reports an error, the device is lost, at most one message is shown and
// the closed port does not keep the event loop busy.
TEST_F(FaultMatrixTest, PortClosedMidWriteIsLostWithOneMessageAtMost) {
  ASSERT_NO_FATAL_FAILURE(
      StartWith({"--hangup-after", std::to_string(kMidWrite)}, 25));
  ASSERT_NO_FATAL_FAILURE(ExpectLostAndIdle());
  EXPECT_LE(host().warnings().size() + host().error_reports().size(), 1u);
  EXPECT_FALSE(host().port_errors().empty()) << "the port saw no error";
  EXPECT_EQ(devsim_->WaitExit(std::chrono::seconds(5)), 0);
}

// The wrong chip in the socket: nothing is erased or written.
TEST_F(FaultMatrixTest, WrongSignatureNeitherErasesNorWrites) {
  ASSERT_NO_FATAL_FAILURE(MakeMemoryDir());
  const Bytes before_write = RandomBytes(kFlashSize, 26);
  WriteFile(MemoryFile("DEMO-8K.flash"), before_write);
  ASSERT_NO_FATAL_FAILURE(StartWith({"--wrong-signature"}, 27));
  const size_t before = LogSize();
  ASSERT_NO_FATAL_FAILURE(Run(kWrite));
  EXPECT_THAT(ReceivedSince(before), ElementsAre("F9 02", "00"));
  EXPECT_EQ(programmer().outcome().kind, OutcomeKind::kSignatureWrong);
  EXPECT_TRUE(programmer().status_error());
  EXPECT_THAT(host().status_history(), Not(Contains(kAllRight)));
  EXPECT_TRUE(Chip() == before_write) << "the chip was changed";
}

// One byte in the chip differs from the image: the verify fails at the
// address of the chunk that holds it.
TEST_F(FaultMatrixTest, DifferingByteFailsVerifyAtItsChunk) {
  ASSERT_NO_FATAL_FAILURE(MakeMemoryDir());
  Bytes chip = RandomBytes(kFlashSize, 28);
  const uint32_t address = 5000;  // in the chunk at 22 * 224 = 0x1340
  chip[address] ^= 0x10;
  WriteFile(MemoryFile("DEMO-8K.flash"), chip);
  chip[address] ^= 0x10;
  image_ = chip;
  WriteFile(dir_.File("image.bin"), image_);
  Start({"--ack-ms", "50"});
  ASSERT_NO_FATAL_FAILURE(DiscoverAndSelect(4, kDemo8K));
  host().core().working_file().SetWorkingFile(dir_.File("image.bin"));
  // A verify compares the chip with the buffer: load the image first.
  ASSERT_EQ(host().core().working_file().LoadFile(), LoadOutcome::kLoaded);
  ASSERT_NO_FATAL_FAILURE(Run(kVerify));
  EXPECT_EQ(programmer().status_text(),
            "Ошибка по адресу 1340. Попробуйте программировать снова!");
  EXPECT_EQ(programmer().outcome().kind, OutcomeKind::kVerifyMismatch);
  EXPECT_EQ(programmer().outcome().address, 0x1340u);
  EXPECT_TRUE(programmer().status_error());
  EXPECT_TRUE(host().queue().empty());
}

}  // namespace
}  // namespace taktm::testing
