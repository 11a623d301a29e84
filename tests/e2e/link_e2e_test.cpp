// Discovery, chip selection, loss and recovery of the device, and the retry
// limit: the program core and TComm32 against takt-m-devsim's built-in
// catalogue, checked by the program's state and by the emulator's frame log.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "e2e/e2e_fixture.h"
#include "programming/programming_texts.h"

namespace taktm::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using ::testing::Not;

constexpr int kDemo8K = 2;

// Replies the built-in catalogue gives before an operation on DEMO-8K:
// discovery (FF, FE, FD, FB, three FC, four FA) and the selection of DEMO-8K
// (F9, F8, F5, F7, F3, F2, F1, two F4, six F6).
constexpr int kRepliesBeforeOperation = 11 + 15;

const std::vector<std::string> kDiscoveryCommands = {
    "FF",    "FE",    "FD",    "FB",    "FC 00", "FC 01",
    "FC 02", "FA 00", "FA 01", "FA 02", "FA 03"};

using LinkE2eTest = E2eTest;

TEST_F(LinkE2eTest, DiscoveryFillsCaptionChipsAndAboutInTheChainsOrder) {
  Start();
  EXPECT_EQ(programmer().caption(), kNotConnectedCaption);
  ASSERT_NO_FATAL_FAILURE(Discover(4));

  ExpectBuiltInDeviceShown();
  EXPECT_THAT(Received(), ElementsAreArray(kDiscoveryCommands));
  EXPECT_FALSE(host().queue().progress().visible);
  EXPECT_THAT(host().warnings(), IsEmpty());

  // Choosing a chip asks for its operations, bits and sizes; the bit names
  // come last, locks before fuses.
  const size_t before = LogSize();
  ASSERT_NO_FATAL_FAILURE(SelectChip(kDemo8K));
  EXPECT_THAT(
      ReceivedSince(before),
      ElementsAre("F9 02", "F8", "F5", "F7", "F3", "F2", "F1", "F4 00", "F4 01",
                  "F6 00", "F6 01", "F6 02", "F6 03", "F6 04", "F6 05"));
  EXPECT_THAT(
      programmer().operation_rows(),
      ElementsAre("Читать сигнатуру", "Читать FUSE биты", "Записать FUSE биты",
                  "Читать LOCK биты", "Записать LOCK биты", "Стереть все",
                  "Читать память программ", "Записать память программ",
                  "Сверить память программ", "Стереть EEPROM", "Читать EEPROM",
                  "Записать EEPROM", "Сверить EEPROM",
                  "Читать калибровочные байты"));
  EXPECT_EQ(programmer().FlashSize(), 8192u);
  EXPECT_EQ(programmer().EepromSize(), 512u);
  EXPECT_EQ(programmer().SizeF1(), 64u);
  ASSERT_EQ(programmer().LockBitCount(), 2);
  EXPECT_EQ(programmer().lock_bits().row(0).caption, "Запрет чтения");
  EXPECT_EQ(programmer().lock_bits().row(1).caption, "Запрет записи");
  ASSERT_EQ(programmer().FuseBitCount(), 6);
  EXPECT_EQ(programmer().fuse_bits().row(0).caption, "CLK0");
  EXPECT_EQ(programmer().fuse_bits().row(4).caption, "Сохранять EEPROM");
  EXPECT_EQ(programmer().fuse_bits().row(5).caption, "Сброс по питанию");

  // A chip's single commands: its signature and calibration bytes.
  ASSERT_NO_FATAL_FAILURE(Run(OP_READ_SIGNATURE));
  EXPECT_EQ(programmer().status_text(), "Сигнатура: 5A 8 3 верна");
  EXPECT_TRUE(programmer().SignatureOk());
  ASSERT_NO_FATAL_FAILURE(Run(OP_READ_CALIBRATION));
  EXPECT_EQ(programmer().status_text(), "Калибровочные байты: 9E 9F A0 A1");
}

// The device falls silent while the verify of a write runs. The watchdog
// sees it 5 s after the last acknowledgement: the device is lost, nothing
// claims the write verified, and when the device talks again the discovery
// starts over with the device name.
TEST_F(LinkE2eTest, SilentDeviceIsLostMidWriteAndFoundAgain) {
  const Bytes image = RandomBytes(8192, 11);
  WriteFile(dir_.File("image.bin"), image);
  // Reply 4 of the write is the second signature; 37 data chunks and their
  // SVC_END follow, then the verify chunks: silence after the fifth.
  const int silent_after = kRepliesBeforeOperation + 4 + 37 + 1 + 5;
  Start(
      {"--silent-after", std::to_string(silent_after), "--silent-for", "6500"});
  ASSERT_NO_FATAL_FAILURE(DiscoverAndSelect(4, kDemo8K));
  host().core().working_file().SetWorkingFile(dir_.File("image.bin"));

  ASSERT_NO_FATAL_FAILURE(Choose(OP_WRITE_FLASH));
  ASSERT_TRUE(host().RunUntil(
      [&] { return programmer().caption() == kNotConnectedCaption; },
      kWatchdogMs + kShortWaitMs))
      << "the watchdog never declared the device lost";

  // The loss steps, as they stand right after the watchdog fired.
  EXPECT_THAT(programmer().chip_rows(), IsEmpty());
  EXPECT_THAT(programmer().operation_rows(), IsEmpty());
  EXPECT_FALSE(programmer().IsOperationAllowed(OP_WRITE_FLASH));
  EXPECT_EQ(programmer().LockBitCount(), 0);
  EXPECT_EQ(programmer().FuseBitCount(), 6);  // the fuse rows stay
  ASSERT_EQ(host().queue().count(), 1u);
  EXPECT_THAT(host().queue().entry(0), ElementsAre(SVC_GET_NAME));
  EXPECT_FALSE(host().queue().progress().visible);
  EXPECT_THAT(host().status_history(), Not(Contains(kAllRight)));

  // The log: five verify replies went out, then the silence.
  const std::vector<std::string> lines = LogLines();
  const auto silent = std::find(lines.begin(), lines.end(), "SILENT");
  ASSERT_NE(silent, lines.end());
  EXPECT_EQ(std::count_if(
                lines.begin(), silent,
                [](const std::string& l) { return l.rfind("TX 0B ", 0) == 0; }),
            5);
  EXPECT_EQ(std::find(silent, lines.end(), "TALKING"), lines.end())
      << "the device talked again before the watchdog fired";

  // The device talks again: the queued SVC_GET_NAME goes out first, and the
  // chain runs as at start-up, without SVC_END.
  ASSERT_TRUE(host().RunUntil(
      [&] {
        return programmer().chip_rows().size() == 4 && host().queue().empty();
      },
      kShortWaitMs + 6500))
      << "the device was not found again";
  EXPECT_EQ(programmer().caption(), kDeviceName);
  const std::vector<std::string> after = LogLines();
  const auto talking = std::find(after.begin(), after.end(), "TALKING");
  ASSERT_NE(talking, after.end());
  std::vector<std::string> rediscovery;
  for (auto it = talking; it != after.end(); ++it) {
    if (it->rfind("RX ", 0) == 0) rediscovery.push_back(it->substr(3));
  }
  EXPECT_THAT(rediscovery, ElementsAreArray(kDiscoveryCommands.begin() + 1,
                                            kDiscoveryCommands.end()));
  EXPECT_THAT(host().status_history(), Not(Contains(kAllRight)));
  EXPECT_THAT(host().warnings(), IsEmpty());
}

// Garbage before replies, replies with a wrong sum and replies that never
// come: the parser skips the garbage and drops the bad frames, the head
// command goes out again, and the chip is read and verified all the same.
TEST_F(LinkE2eTest, NoisyLineStillReadsAndVerifiesTheChip) {
  const Bytes flash = RandomBytes(8192, 7);
  ASSERT_NO_FATAL_FAILURE(MakeMemoryDir());
  WriteFile(MemoryFile("DEMO-8K.flash"), flash);
  Start({"--noise", "3", "--corrupt-replies", "5", "--drop-replies", "7",
         "--ack-ms", "50"});
  ASSERT_NO_FATAL_FAILURE(DiscoverAndSelect(4, kDemo8K));
  EXPECT_THAT(programmer().chip_rows(),
              ElementsAre("DEMO-1K", "DEMO-4K", "DEMO-8K", "DEMO-128K"));

  ASSERT_NO_FATAL_FAILURE(Run(OP_READ_FLASH));
  EXPECT_EQ(host().core().buffer().bytes(), flash);
  ASSERT_NO_FATAL_FAILURE(Run(OP_VERIFY_FLASH));
  EXPECT_EQ(programmer().status_text(), kAllRight);
  EXPECT_FALSE(programmer().status_error());

  const std::vector<std::string> lines = LogLines();
  const auto count = [&lines](const char* prefix) {
    return std::count_if(
        lines.begin(), lines.end(),
        [prefix](const std::string& l) { return l.rfind(prefix, 0) == 0; });
  };
  EXPECT_GT(count("TX NOISE"), 10);
  EXPECT_GT(count("TX CORRUPT"), 10);
  EXPECT_GT(count("TX DROPPED"), 5);
  EXPECT_THAT(host().warnings(), IsEmpty());
}

// The main thread pauses for 300 ms (a slow repaint, a loaded machine:
// anything longer than the device's idle acknowledgement period) while a read
// runs. Acknowledgements that crossed a command on the line make the device
// run it twice; a late duplicate reply must not complete the next chunk,
// whose own data would then never reach the buffer.
TEST_F(LinkE2eTest, ReadAfterAPausedMainThreadEqualsTheChip) {
  const Bytes flash = RandomBytes(8192, 7);
  ASSERT_NO_FATAL_FAILURE(MakeMemoryDir());
  WriteFile(MemoryFile("DEMO-8K.flash"), flash);
  Start({"--ack-ms", "50"});
  ASSERT_NO_FATAL_FAILURE(DiscoverAndSelect(4, kDemo8K));

  int chunks = 0;
  host().on_receive = [&chunks](const uint8_t*, uint16_t) {
    if (++chunks == 5)
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
  };
  ASSERT_NO_FATAL_FAILURE(Run(OP_READ_FLASH));
  host().on_receive = nullptr;

  const Bytes& buffer = host().core().buffer().bytes();
  ASSERT_EQ(buffer.size(), flash.size());
  std::vector<size_t> wrong_chunks;
  for (size_t a = 0; a < flash.size(); a += 224) {
    const size_t end = std::min(flash.size(), a + 224);
    if (!std::equal(flash.begin() + a, flash.begin() + end,
                    buffer.begin() + a)) {
      wrong_chunks.push_back(a);
    }
  }
  EXPECT_THAT(wrong_chunks, IsEmpty()) << "addresses of chunks not read";
  EXPECT_THAT(host().warnings(), IsEmpty());
}

// A device that never answers: the head command goes out once per
// acknowledgement, eight times in all, then the queue is cleared with one
// warning and nothing more is sent.
TEST_F(LinkE2eTest, UnansweredCommandIsSentEightTimesThenDropped) {
  Start({"--drop-replies", "1", "--ack-ms", "50"});
  host().FormShow();
  ASSERT_TRUE(
      host().RunUntil([&] { return !host().warnings().empty(); }, kShortWaitMs))
      << "the retry limit was never reached";
  host().RunFor(500);  // ten more acknowledgements

  EXPECT_THAT(Received(), ElementsAreArray(std::vector<std::string>(8, "FF")));
  const std::vector<std::string> lines = LogLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "TX DROPPED FF"), 8);
  EXPECT_THAT(host().warnings(), ElementsAre(kRetryLimitWarning));
  EXPECT_TRUE(host().queue().empty());
  EXPECT_EQ(host().queue().UnansweredSends(), 0);
  EXPECT_FALSE(host().queue().progress().visible);
  EXPECT_EQ(programmer().caption(), kNotConnectedCaption);
}

}  // namespace
}  // namespace taktm::testing
