// The faults a real line and a device that acknowledges while idle bring,
// each made to happen by takt-m-devsim: replies answered twice, an
// acknowledgement crossing commands, replies cut short, and a read of a
// large memory at a fast idle pace. The chip is judged by the emulator's
// memory files, the program by what it shows.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/e2e_fixture.h"
#include "programming/opcodes.h"
#include "programming/programming_texts.h"

namespace taktm::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr int kDemo8K = 2;

const std::vector<std::string> kFuseNames = {
    "CLK0", "CLK1", "BOOT", "WDT", "Сохранять EEPROM", "Сброс по питанию"};

std::vector<std::string> Captions(const BitRows& rows) {
  std::vector<std::string> captions;
  for (int i = 0; i < rows.count(); ++i)
    captions.push_back(rows.row(i).caption);
  return captions;
}

class LineFaultsTest : public E2eTest {
 protected:
  void UseWorkingFile(const Bytes& image) {
    WriteFile(dir_.File("image.bin"), image);
    host().core().working_file().SetWorkingFile(dir_.File("image.bin"));
  }
  void ExpectDeviceAndChipShownWhole() {
    ExpectBuiltInDeviceShown();
    EXPECT_THAT(Captions(programmer().lock_bits()),
                ElementsAre("Запрет чтения", "Запрет записи"));
    EXPECT_EQ(Captions(programmer().fuse_bits()), kFuseNames);
    EXPECT_EQ(programmer().FlashSize(), 8192u);
    EXPECT_EQ(programmer().EepromSize(), 512u);
  }
};

// Every second command is answered twice. The name requests differ only in
// the index their replies echo; the second answer to one must not fill the
// next row (which then stayed empty).
TEST_F(LineFaultsTest, RepliesAnsweredTwiceLeaveNoNameOrAboutLineEmpty) {
  Start({"--double-reply-every", "2", "--ack-ms", "50"});
  ASSERT_NO_FATAL_FAILURE(DiscoverAndSelect(4, kDemo8K));
  ExpectDeviceAndChipShownWhole();
  EXPECT_THAT(host().warnings(), IsEmpty());
}

// Every third command answered twice during a write without verify: a
// write reply carries only its opcode, so a second one completed the next
// chunk before that chunk was ever sent, and the chip missed it.
TEST_F(LineFaultsTest, WriteRepliesAnsweredTwiceCompleteNoUnsentChunk) {
  Start({"--double-reply-every", "3", "--ack-ms", "50"});
  ASSERT_NO_FATAL_FAILURE(DiscoverAndSelect(4, kDemo8K));
  const Bytes image = RandomBytes(8192, 21);
  UseWorkingFile(image);
  host().SetCheck(3, false);  // no verify
  ASSERT_NO_FATAL_FAILURE(Run(OP_WRITE_FLASH, kLongWaitMs));
  EXPECT_TRUE(ReadBytes(MemoryFile("DEMO-8K.flash")) == image)
      << "chunks missing on the chip";
  EXPECT_THAT(host().warnings(), IsEmpty());
}

// A loaded machine: the program stalls now and then for longer than the
// device's idle period, so acknowledgements pile up and every reply arrives
// in one chunk right behind one; on top, an acknowledgement crosses every
// third command. The replies were thrown away with the acknowledgement in
// front of them until the retry limit cleared the queue half way through.
TEST_F(LineFaultsTest, LaggingProgramStillWritesAndVerifiesUnderCrossings) {
  Start({"--cross-every", "3", "--ack-ms", "5"});
  ASSERT_NO_FATAL_FAILURE(DiscoverAndSelect(4, kDemo8K));
  ExpectDeviceAndChipShownWhole();
  const Bytes image = RandomBytes(4096, 22);
  UseWorkingFile(image);
  int chunks = 0;
  host().on_receive = [&chunks](const uint8_t*, uint16_t) {
    if (++chunks % 2 == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(15));
    }
  };
  ASSERT_NO_FATAL_FAILURE(Run(OP_WRITE_FLASH, kLongWaitMs));
  host().on_receive = nullptr;
  EXPECT_THAT(host().warnings(), IsEmpty());
  const Bytes flash = ReadBytes(MemoryFile("DEMO-8K.flash"));
  ASSERT_EQ(flash.size(), 8192u);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
  EXPECT_EQ(programmer().status_text(), kAllRight);
}

struct ShortReply {
  const char* opcode;
};

void PrintTo(const ShortReply& param, std::ostream* out) {
  *out << "--short-reply " << param.opcode;
}

class ShortReplyTest : public LineFaultsTest,
                       public ::testing::WithParamInterface<ShortReply> {};

// Each reply of one opcode comes without its last byte the first time: a
// name without its last letter, a signature or verify without its verdict,
// a chunk without its last data byte, a size without its top byte. None
// answers its command; the command goes out again, and the whole reply
// does. Before, the missing bytes were taken as 0: a wrong name shown, a
// healthy chip reported wrong, a write stopped.
TEST_P(ShortReplyTest, ShortReplyIsAskedAgainAndNothingIsTakenFromIt) {
  const Bytes chip = RandomBytes(8192, 23);
  ASSERT_NO_FATAL_FAILURE(MakeMemoryDir());
  WriteFile(MemoryFile("DEMO-8K.flash"), chip);
  Start({"--short-reply", GetParam().opcode, "--ack-ms", "50"});
  ASSERT_NO_FATAL_FAILURE(DiscoverAndSelect(4, kDemo8K));
  ExpectDeviceAndChipShownWhole();

  ASSERT_NO_FATAL_FAILURE(Run(OP_READ_SIGNATURE));
  EXPECT_EQ(programmer().status_text(), "Сигнатура: 5A 8 3 верна");
  ASSERT_NO_FATAL_FAILURE(Run(OP_READ_FLASH, kLongWaitMs));
  EXPECT_TRUE(host().core().buffer().bytes() == chip);
  ASSERT_NO_FATAL_FAILURE(Run(OP_VERIFY_FLASH, kLongWaitMs));
  EXPECT_EQ(programmer().status_text(), kAllRight);
  EXPECT_FALSE(programmer().status_error());
  EXPECT_THAT(host().warnings(), IsEmpty());
  const std::vector<std::string> lines = LogLines();
  EXPECT_GT(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) {
                            return l.rfind("TX SHORT", 0) == 0;
                          }),
            0);
}

INSTANTIATE_TEST_SUITE_P(Opcodes, ShortReplyTest,
                         ::testing::Values(ShortReply{"FA"}, ShortReply{"FC"},
                                           ShortReply{"F6"}, ShortReply{"00"},
                                           ShortReply{"09"}, ShortReply{"0B"}),
                         [](const ::testing::TestParamInfo<ShortReply>& info) {
                           return std::string("Opcode") + info.param.opcode;
                         });

// A 512 KiB program memory read from a device that acknowledges every 5 ms
// while idle: one frame per command beyond the sends the device forced. With
// `cross_every` an idle acknowledgement crosses every so many commands, so
// the link must leave the doubled rhythm each time (it sent 3,429 read
// commands for 2,341 chunks once a single command had gone out twice). The
// bound is loose for a loaded machine; the figure is printed.
class LargeReadTest : public LineFaultsTest,
                      public ::testing::WithParamInterface<int> {};

TEST_P(LargeReadTest, FastIdlePaceSendsOneFramePerCommand) {
  const int cross_every = GetParam();
  constexpr uint32_t kSize = 512 * 1024;
  std::ofstream(dir_.File("chips.txt"))
      << "chip DEMO-512K\nflash 524288\noperations 9\nsignature 5A 05 12\n";
  const Bytes chip = RandomBytes(kSize, 24);
  ASSERT_NO_FATAL_FAILURE(MakeMemoryDir());
  WriteFile(MemoryFile("DEMO-512K.flash"), chip);
  std::vector<std::string> options = {"--chips", dir_.File("chips.txt"),
                                      "--ack-ms", "5"};
  if (cross_every > 0) {
    options.insert(options.end(),
                   {"--cross-every", std::to_string(cross_every)});
  }
  Start(options);
  ASSERT_NO_FATAL_FAILURE(DiscoverAndSelect(1, 0));
  ASSERT_EQ(programmer().FlashSize(), kSize);

  const int64_t frames_before = host().frames_sent();
  const int64_t commands_before = host().commands_done();
  ASSERT_NO_FATAL_FAILURE(Run(OP_READ_FLASH, 4 * kLongWaitMs));
  const int64_t frames = host().frames_sent() - frames_before;
  const int64_t commands = host().commands_done() - commands_before;
  EXPECT_TRUE(host().core().buffer().bytes() == chip);
  EXPECT_EQ(commands, 1 + 2341 + 1);  // selection, chunks, SVC_END
  const int64_t forced = cross_every > 0 ? commands / cross_every + 1 : 0;
  std::printf(
      "[ frames   ] 512 KiB read, idle acknowledgement every 5 ms, "
      "crossing every %d: %lld frames for %lld commands, %.4f per command\n",
      cross_every, static_cast<long long>(frames),
      static_cast<long long>(commands),
      static_cast<double>(frames) / static_cast<double>(commands));
  RecordProperty("frames", static_cast<int>(frames));
  RecordProperty("commands", static_cast<int>(commands));
  EXPECT_LE(frames, commands + forced + commands / 20);
  EXPECT_THAT(host().warnings(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Crossings, LargeReadTest, ::testing::Values(0, 500),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return info.param == 0
                                      ? std::string("NoCrossing")
                                      : "CrossEvery" +
                                            std::to_string(info.param);
                         });

}  // namespace
}  // namespace taktm::testing
