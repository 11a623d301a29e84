// The emulator over its pseudo-terminal, driven by the program's link core.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <random>

#include "devsim/core_link_client.h"
#include "harness/devsim_process.h"
#include "harness/random_bytes.h"
#include "link/memory_command.h"
#include "support/fake_link_host.h"

namespace taktm::testing {
namespace {

using std::chrono::milliseconds;
using ::testing::ElementsAre;

constexpr uint8_t kDemo1K = 0, kDemo4K = 1, kDemo8K = 2;
constexpr uint32_t kChunk = 224;

Bytes DataCommand(uint8_t opcode, uint32_t address, const Bytes& image,
                  uint32_t count) {
  // Reads carry no data.
  const bool carries = opcode != 0x09 && opcode != 0x0D;
  return EncodeMemoryCommand(opcode, address, static_cast<uint8_t>(count),
                             image.data() + address, carries ? count : 0);
}

// Queues one command per 224-byte chunk of `image`, then SVC_END, as the
// program's memory operations do.
void QueueChunks(CoreLinkClient& link, uint8_t opcode, const Bytes& image) {
  for (uint32_t a = 0; a < image.size(); a += kChunk) {
    link.Enqueue(DataCommand(opcode, a, image,
                             std::min<uint32_t>(kChunk, image.size() - a)));
  }
  link.Enqueue({0xFF});
}

// Verdicts of the verify replies received, by address.
std::vector<std::pair<uint32_t, int>> Verdicts(const CoreLinkClient& link,
                                               uint8_t opcode) {
  std::vector<std::pair<uint32_t, int>> out;
  for (const Bytes& r : link.replies()) {
    if (r[0] != opcode) continue;
    out.emplace_back(ReadLe32(&r[kMemoryAddressAt]), r[kMemoryDataAt]);
  }
  return out;
}

Bytes ReadBack(const CoreLinkClient& link, uint8_t opcode, size_t size) {
  Bytes image(size, 0);
  for (const Bytes& r : link.replies()) {
    if (r[0] != opcode) continue;
    const std::optional<MemoryCommand> read = DecodeMemoryCommand(r);
    std::copy_n(r.begin() + kMemoryDataAt, read->count,
                image.begin() + read->address);
  }
  return image;
}

class DevsimPtyTest : public ::testing::Test {
 protected:
  // Starts the emulator with a frame log and a memory folder.
  void Start(std::vector<std::string> args = {}) {
    log_ = dir_.File("frames.log");
    args.insert(args.end(), {"--log", log_, "--memory-dir", dir_.File("mem"),
                             "--ack-ms", "50"});
    devsim_ = std::make_unique<DevsimProcess>(args);
    ASSERT_FALSE(devsim_->port().empty()) << "the emulator did not start";
    link_ = std::make_unique<CoreLinkClient>(devsim_->port());
    ASSERT_TRUE(link_->ok());
  }
  std::string MemoryFile(const std::string& name) {
    return dir_.File("mem/" + name);
  }

  TempDir dir_;
  std::string log_;
  std::unique_ptr<DevsimProcess> devsim_;
  std::unique_ptr<CoreLinkClient> link_;
};

TEST_F(DevsimPtyTest, DiscoveryIsAnsweredInOrderWithTheRightBytes) {
  Start();
  for (Bytes c : std::vector<Bytes>{{0xFF},
                                    {0xFE},
                                    {0xFD},
                                    {0xFC, 0},
                                    {0xFB},
                                    {0xFA, 0},
                                    {0xFA, 3},
                                    {0xF9, kDemo8K},
                                    {0xF8},
                                    {0xF5},
                                    {0xF7},
                                    {0xF3},
                                    {0xF2},
                                    {0xF1},
                                    {0xF4, 1},
                                    {0xF6, 5}}) {
    link_->Enqueue(c);
  }
  ASSERT_TRUE(link_->RunUntilDone());
  const auto& r = link_->replies();
  ASSERT_EQ(r.size(), 16u);
  EXPECT_EQ(r[0], Bytes{0xFF});
  EXPECT_EQ(r[1][0], 0xFE);
  EXPECT_EQ(r[1][1], r[1].size() - 2);
  EXPECT_EQ(r[1][2], 0xD2);  // "Т" in Windows-1251
  EXPECT_EQ(r[2], (Bytes{0xFD, 3}));
  EXPECT_EQ(r[3][0], 0xFC);
  EXPECT_EQ(r[3][1], 0);
  EXPECT_EQ(r[4], (Bytes{0xFB, 4}));
  EXPECT_EQ(r[5], (Bytes{0xFA, 7, 'D', 'E', 'M', 'O', '-', '1', 'K'}));
  EXPECT_EQ(r[6],
            (Bytes{0xFA, 9, 'D', 'E', 'M', 'O', '-', '1', '2', '8', 'K'}));
  EXPECT_EQ(r[7], Bytes{0xF9});
  EXPECT_EQ(r[8], (Bytes{0xF8, 0xF9, 0xFE, 0x10, 0x00}));
  EXPECT_EQ(r[9], (Bytes{0xF5, 2}));
  EXPECT_EQ(r[10], (Bytes{0xF7, 6}));
  EXPECT_EQ(r[11], (Bytes{0xF3, 0x00, 0x20, 0x00, 0x00}));
  EXPECT_EQ(r[12], (Bytes{0xF2, 0x00, 0x02, 0x00, 0x00}));
  EXPECT_EQ(r[13], (Bytes{0xF1, 0x40, 0x00, 0x00, 0x00}));
  // "Запрет записи", "Сброс по питанию"
  EXPECT_EQ(r[14], (Bytes{0xF4, 1, 13, 0xC7, 0xE0, 0xEF, 0xF0, 0xE5, 0xF2, 0x20,
                          0xE7, 0xE0, 0xEF, 0xE8, 0xF1, 0xE8}));
  EXPECT_EQ(r[15][0], 0xF6);
  EXPECT_EQ(r[15][1], 5);
  EXPECT_EQ(r[15][3], 0xD1);  // "С"
  // One send per command: the device acknowledged after every reply.
  EXPECT_EQ(link_->writes(), 16);
  EXPECT_THAT(
      ReceivedCommands(log_),
      ElementsAre("FF", "FE", "FD", "FC 00", "FB", "FA 00", "FA 03", "F9 02",
                  "F8", "F5", "F7", "F3", "F2", "F1", "F4 01", "F6 05"));
}

TEST_F(DevsimPtyTest, ProgramMemoryWriteVerifyReadAndAMismatch) {
  Start();
  const Bytes image = RandomBytes(8192, 1);
  link_->Enqueue({0xF9, kDemo8K});
  link_->Enqueue({0x07});
  QueueChunks(*link_, 0x0A, image);
  QueueChunks(*link_, 0x0B, image);
  QueueChunks(*link_, 0x09, Bytes(8192));
  ASSERT_TRUE(link_->RunUntilDone(std::chrono::seconds(60)));
  const auto verdicts = Verdicts(*link_, 0x0B);
  ASSERT_EQ(verdicts.size(), 37u);  // ceil(8192 / 224)
  EXPECT_TRUE(std::all_of(verdicts.begin(), verdicts.end(),
                          [](auto v) { return v.second == 1; }));
  EXPECT_EQ(ReadBack(*link_, 0x09, 8192), image);
  EXPECT_EQ(ReadBytes(MemoryFile("DEMO-8K.flash")), image);

  // One changed byte in the sixth chunk: verification stops there.
  Bytes changed = image;
  changed[5 * kChunk + 17] ^= 0x01;
  CoreLinkClient& link = *link_;
  const size_t before = link.replies().size();
  link.Enqueue({0xF9, kDemo8K});
  QueueChunks(link, 0x0B, changed);
  ASSERT_TRUE(link.RunUntilDone());
  const auto all = Verdicts(link, 0x0B);
  const std::vector<std::pair<uint32_t, int>> second(all.begin() + 37,
                                                     all.end());
  EXPECT_THAT(second, ElementsAre(std::pair<uint32_t, int>{0, 1},
                                  std::pair<uint32_t, int>{224, 1},
                                  std::pair<uint32_t, int>{448, 1},
                                  std::pair<uint32_t, int>{672, 1},
                                  std::pair<uint32_t, int>{896, 1},
                                  std::pair<uint32_t, int>{1120, 0}));
  EXPECT_EQ(link.replies().size(), before + 7);
  EXPECT_EQ(ReceivedCommands(log_).back().substr(0, 14), "0B 60 04 00 00");
}

TEST_F(DevsimPtyTest, EepromWriteVerifyReadAndAMismatch) {
  Start();
  const Bytes image = RandomBytes(512, 2);
  link_->Enqueue({0xF9, kDemo8K});
  link_->Enqueue({0x0C});
  QueueChunks(*link_, 0x0E, image);
  QueueChunks(*link_, 0x0F, image);
  QueueChunks(*link_, 0x0D, Bytes(512));
  ASSERT_TRUE(link_->RunUntilDone());
  EXPECT_THAT(Verdicts(*link_, 0x0F),
              ElementsAre(std::pair<uint32_t, int>{0, 1},
                          std::pair<uint32_t, int>{224, 1},
                          std::pair<uint32_t, int>{448, 1}));
  EXPECT_EQ(ReadBack(*link_, 0x0D, 512), image);
  EXPECT_EQ(ReadBytes(MemoryFile("DEMO-8K.eeprom")), image);

  Bytes changed = image;
  changed[300] ^= 0x80;
  link_->Enqueue({0xF9, kDemo8K});
  QueueChunks(*link_, 0x0F, changed);
  ASSERT_TRUE(link_->RunUntilDone());
  EXPECT_EQ(Verdicts(*link_, 0x0F).back(), (std::pair<uint32_t, int>{224, 0}));
  EXPECT_EQ(Verdicts(*link_, 0x0F).size(), 5u);
}

TEST_F(DevsimPtyTest, WriteWithoutEraseFailsWhereBitsMustBeSet) {
  Start();  // DEMO-4K cannot be erased
  Bytes first(4096, 0xFF), second(4096, 0xFF);
  first[1000] = 0x0F;
  second[1000] = 0x0F;
  second[3000] = 0x00;  // only clears bits: fine without an erase
  link_->Enqueue({0xF9, kDemo4K});
  QueueChunks(*link_, 0x0A, first);
  QueueChunks(*link_, 0x0A, second);
  QueueChunks(*link_, 0x0B, second);
  ASSERT_TRUE(link_->RunUntilDone());
  EXPECT_EQ(Verdicts(*link_, 0x0B).size(), 19u);
  EXPECT_EQ(Verdicts(*link_, 0x0B).back().second, 1);

  Bytes third = second;
  third[1000] = 0xF0;  // needs bits set again
  link_->Enqueue({0xF9, kDemo4K});
  link_->Enqueue({0x07});  // not allowed for this chip: no effect
  QueueChunks(*link_, 0x0A, third);
  QueueChunks(*link_, 0x0B, third);
  ASSERT_TRUE(link_->RunUntilDone());
  EXPECT_EQ(Verdicts(*link_, 0x0B).back(), (std::pair<uint32_t, int>{896, 0}));
  EXPECT_EQ(ReadBytes(MemoryFile("DEMO-4K.flash"))[1000], 0x00);
}

TEST_F(DevsimPtyTest, WithoutTheEraseRuleWritesReplace) {
  Start({"--no-flash-needs-erase"});
  Bytes first(1000, 0x00), second(1000, 0xA5);
  link_->Enqueue({0xF9, kDemo1K});
  QueueChunks(*link_, 0x0A, first);
  QueueChunks(*link_, 0x0A, second);
  QueueChunks(*link_, 0x0B, second);
  ASSERT_TRUE(link_->RunUntilDone());
  EXPECT_EQ(Verdicts(*link_, 0x0B).size(), 5u);
  EXPECT_EQ(Verdicts(*link_, 0x0B).back().second, 1);
  EXPECT_EQ(ReadBytes(MemoryFile("DEMO-1K.flash")), second);
}

TEST_F(DevsimPtyTest, MemoriesAndBitsPersistInTheMemoryFolder) {
  Start();
  link_->Enqueue({0xF9, kDemo8K});
  link_->Enqueue(DataCommand(0x0A, 0, Bytes{0x12, 0x34}, 2));
  link_->Enqueue({0x04, 1, 1});
  link_->Enqueue({0x06, 0});
  ASSERT_TRUE(link_->RunUntilDone());
  link_.reset();
  EXPECT_EQ(devsim_->Stop(SIGTERM), 0);

  Start();
  link_->Enqueue({0xF9, kDemo8K});
  link_->Enqueue(DataCommand(0x09, 0, {}, 2));
  link_->Enqueue({0x03});
  link_->Enqueue({0x05});
  ASSERT_TRUE(link_->RunUntilDone());
  EXPECT_THAT(
      link_->replies(),
      ElementsAre(Bytes{0xF9}, (Bytes{0x09, 0, 0, 0, 0, 2, 0x12, 0x34}),
                  (Bytes{0x03, 6, 1, 1, 0, 1, 0, 1}), (Bytes{0x05, 2, 1, 0})));
}

TEST_F(DevsimPtyTest, AcknowledgesWhileIdleAndIgnoresDamagedCommands) {
  Start({"--log-acks"});
  link_->RunFor(milliseconds(500));
  EXPECT_GE(link_->acks(), 3);  // every 50 ms while idle
  EXPECT_TRUE(link_->replies().empty());

  // A command with a wrong payload sum is ignored; the next one is answered.
  Bytes damaged = Frame({0xF9, 0x02});
  damaged.back() ^= 0x55;
  const int fd = OpenRawPort(devsim_->port());
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, damaged.data(), damaged.size()),
            static_cast<ssize_t>(damaged.size()));
  ::close(fd);
  link_->Enqueue({0xFF});
  ASSERT_TRUE(link_->RunUntilDone());
  EXPECT_THAT(ReceivedCommands(log_), ElementsAre("BADSUM F9 02", "FF"));
  const auto lines = ReadLines(log_);
  const auto reply = std::find(lines.begin(), lines.end(), "TX FF");
  ASSERT_NE(reply, lines.end());
  ASSERT_NE(reply + 1, lines.end());
  EXPECT_EQ(*(reply + 1), "TX ACK");  // reply, then acknowledgement
}

TEST_F(DevsimPtyTest, SilentAfterStopsAllOutputUntilSilentForEnds) {
  Start({"--silent-after", "2", "--silent-for", "1500"});
  link_->Enqueue({0xFF});
  link_->Enqueue({0xFE});
  link_->Enqueue({0xFD});
  link_->RunFor(milliseconds(700));
  EXPECT_EQ(link_->replies().size(), 2u);
  const size_t bytes_when_silent = link_->raw().size();
  link_->RunFor(milliseconds(500));
  EXPECT_EQ(link_->raw().size(), bytes_when_silent);  // not even acks
  ASSERT_TRUE(link_->RunUntilDone(std::chrono::seconds(5))) << ReadText(log_);
  EXPECT_EQ(link_->replies().back(), (Bytes{0xFD, 3}));
  const auto lines = ReadLines(log_);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "SILENT"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "TALKING"), lines.end());
}

TEST_F(DevsimPtyTest, DroppedAndCorruptedRepliesAreRecoveredByResending) {
  Start({"--drop-replies", "3", "--corrupt-replies", "2"});
  const std::vector<Bytes> commands = {
      {0xFF}, {0xFE}, {0xFD}, {0xFB}, {0xFA, 0}};
  for (const Bytes& c : commands) link_->Enqueue(c);
  ASSERT_TRUE(link_->RunUntilDone());
  ASSERT_EQ(link_->replies().size(), commands.size());
  for (size_t i = 0; i < commands.size(); ++i) {
    EXPECT_EQ(link_->replies()[i][0], commands[i][0]);
  }
  // Replies 2, 4, 8 corrupted, 3, 6 dropped, so commands were resent.
  std::vector<std::string> tx;
  for (const std::string& line : ReadLines(log_)) {
    if (line.rfind("TX ", 0) == 0) tx.push_back(line.substr(3, 7));
  }
  ASSERT_GE(tx.size(), 6u);
  EXPECT_EQ(tx[1], "CORRUPT");
  EXPECT_EQ(tx[2], "DROPPED");
  EXPECT_EQ(ReceivedCommands(log_).size(), tx.size());
  EXPECT_GT(link_->writes(), 5);
  EXPECT_TRUE(link_->warnings().empty());
}

TEST_F(DevsimPtyTest, NoiseBetweenFramesDoesNotDisturbTheLink) {
  Start({"--noise", "1", "--seed", "99"});
  for (int i = 0; i < 10; ++i)
    link_->Enqueue({0xFC, static_cast<uint8_t>(i % 3)});
  ASSERT_TRUE(link_->RunUntilDone());
  EXPECT_EQ(link_->replies().size(), 10u);
  EXPECT_EQ(link_->writes(), 10);
  // The stream holds bytes that belong to no frame.
  size_t framed = 0;
  const Bytes& raw = link_->raw();
  for (size_t i = 0; i + 6 < raw.size();) {
    if (raw[i] == 0xD1 && raw[i + 1] == 0xE0 && raw[i + 2] == 0xEB &&
        raw[i + 3] == 0xEE) {
      framed += raw[i + 4] + 7u;
      i += raw[i + 4] + 7u;
    } else {
      ++i;
    }
  }
  EXPECT_GE(raw.size() - framed, 10u);
  size_t noise_lines = 0;
  for (const std::string& line : ReadLines(log_))
    noise_lines += line.rfind("TX NOISE", 0) == 0;
  EXPECT_EQ(noise_lines, 10u);
}

TEST_F(DevsimPtyTest, WrongSignatureIsJudgedWrong) {
  Start({"--wrong-signature"});
  link_->Enqueue({0xF9, kDemo8K});
  link_->Enqueue({0x00});
  link_->Enqueue({0x07});  // dropped: a wrong signature stops the sequence
  ASSERT_TRUE(link_->RunUntilDone());
  ASSERT_EQ(link_->replies().size(), 2u);
  EXPECT_EQ(link_->replies()[1], (Bytes{0x00, 3, 0x5A, 0x08, 0xFC, 0}));
}

TEST_F(DevsimPtyTest, LatencyAndBaudRateDelayReplies) {
  // Lower bounds only: a reply can never come sooner than these.
  Start({"--latency-ms", "300"});
  auto start = std::chrono::steady_clock::now();
  link_->Enqueue({0xFF});
  ASSERT_TRUE(link_->RunUntilDone());
  EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(300));
  link_.reset();
  devsim_.reset();

  Start({"--baud", "9600", "--parity", "even"});
  start = std::chrono::steady_clock::now();
  link_->Enqueue({0xF9, kDemo1K});
  QueueChunks(*link_, 0x09, Bytes(448));
  ASSERT_TRUE(link_->RunUntilDone());
  // Two replies of 237 bytes at 11 bits a byte: at least 543 ms on the wire.
  EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(543));
  EXPECT_EQ(link_->replies().size(), 4u);
}

TEST_F(DevsimPtyTest, HangupAfterClosesThePortAndExits) {
  const std::string link_path = dir_.File("port");
  Start({"--hangup-after", "2", "--link", link_path});
  struct stat st {};
  EXPECT_EQ(::lstat(link_path.c_str(), &st), 0);
  link_->Enqueue({0xFF});
  link_->Enqueue({0xFE});
  link_->Enqueue({0xFD});
  link_->RunFor(milliseconds(1500));
  EXPECT_EQ(link_->replies().size(), 2u);
  EXPECT_TRUE(link_->port_failed());
  EXPECT_EQ(devsim_->WaitExit(std::chrono::seconds(5)), 0);
  EXPECT_EQ(ReadLines(log_).back(), "HANGUP");
  EXPECT_NE(::lstat(link_path.c_str(), &st), 0);
}

TEST_F(DevsimPtyTest, SignalsEndTheEmulatorAndRemoveItsLink) {
  for (int sig : {SIGTERM, SIGINT}) {
    const std::string link_path = dir_.File("port");
    Start({"--link", link_path});
    char target[64] = {};
    ASSERT_GT(::readlink(link_path.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(devsim_->port(), target);
    link_.reset();
    EXPECT_EQ(devsim_->Stop(sig), 0);
    struct stat st {};
    EXPECT_NE(::lstat(link_path.c_str(), &st), 0);
  }
}

TEST_F(DevsimPtyTest, LoadsAnotherCatalogue) {
  std::ofstream(dir_.File("chips.txt")) << "device Стенд\nchip ОДНА\nflash 16\n"
                                           "signature 01\noperations 9\n";
  Start({"--chips", dir_.File("chips.txt")});
  link_->Enqueue({0xFE});
  link_->Enqueue({0xFB});
  link_->Enqueue({0xFA, 0});
  link_->Enqueue({0xF9, 0});
  link_->Enqueue(DataCommand(0x09, 8, {}, 16));
  ASSERT_TRUE(link_->RunUntilDone());
  EXPECT_THAT(link_->replies(),
              ElementsAre((Bytes{0xFE, 5, 0xD1, 0xF2, 0xE5, 0xED, 0xE4}),
                          (Bytes{0xFB, 1}),
                          (Bytes{0xFA, 4, 0xCE, 0xC4, 0xCD, 0xC0}), Bytes{0xF9},
                          (Bytes{0x09, 8, 0, 0, 0, 8, 0xFF, 0xFF, 0xFF, 0xFF,
                                 0xFF, 0xFF, 0xFF, 0xFF})));
}

}  // namespace
}  // namespace taktm::testing
