// The emulator's timing faults, seen frame by frame on its pty without the
// program's link core: where the crossing acknowledgement, the doubled reply,
// the batched acknowledgements and the short reply fall in the byte stream.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "harness/devsim_process.h"
#include "link/frame.h"
#include "support/fake_link_host.h"

namespace taktm::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const Bytes kAck;  // an acknowledgement, as Receive() lists it
const Bytes kSelectDemo8K = {0xF9, 2};
const Bytes kFlashSizeReply = {0xF3, 0x00, 0x20, 0x00, 0x00};  // 8,192

// Frames in and out of the emulator's port; every frame received is listed
// by its payload, an acknowledgement as an empty one.
class RawLink {
 public:
  explicit RawLink(const std::string& port) : fd_(OpenRawPort(port)) {}
  ~RawLink() {
    if (fd_ >= 0) ::close(fd_);
  }
  RawLink(const RawLink&) = delete;
  RawLink& operator=(const RawLink&) = delete;

  bool ok() const { return fd_ >= 0; }

  // Writes the frames of `payloads` with one write, as one chunk.
  void Send(const std::vector<Bytes>& payloads) {
    Bytes bytes;
    for (const Bytes& p : payloads) {
      const Bytes f = Frame(p);
      bytes.insert(bytes.end(), f.begin(), f.end());
    }
    ASSERT_EQ(::write(fd_, bytes.data(), bytes.size()),
              static_cast<ssize_t>(bytes.size()));
  }

  // The next `count` frames; fewer when `ms` pass first.
  std::vector<Bytes> Receive(size_t count, int ms = 5000) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (frames_.size() < count) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
      uint8_t buffer[4096];
      const ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n <= 0) continue;
      bytes_.insert(bytes_.end(), buffer, buffer + n);
      Split();
    }
    const size_t n = std::min(count, frames_.size());
    std::vector<Bytes> out(frames_.begin(), frames_.begin() + n);
    frames_.erase(frames_.begin(), frames_.begin() + n);
    return out;
  }

  // One command and everything it brings back.
  std::vector<Bytes> Exchange(const Bytes& command, size_t frames_back) {
    Send({command});
    return Receive(frames_back);
  }

 private:
  void Split() {
    size_t at = 0;
    while (bytes_.size() - at >= 6) {
      if (!std::equal(kPreamble.begin(), kPreamble.end(),
                      bytes_.begin() + at)) {
        ++at;
        continue;
      }
      const size_t size = bytes_[at + 4] + kFrameOverhead;
      if (bytes_.size() - at < size) break;
      frames_.emplace_back(bytes_.begin() + at + 6,
                           bytes_.begin() + at + size - 1);
      at += size;
    }
    bytes_.erase(bytes_.begin(), bytes_.begin() + at);
  }

  int fd_;
  Bytes bytes_;
  std::vector<Bytes> frames_;
};

class DevsimTimingTest : public ::testing::Test {
 protected:
  // Starts the emulator with an idle period long enough that no idle
  // acknowledgement comes between the frames a test looks at, and takes its
  // greeting.
  void Start(std::vector<std::string> args) {
    log_ = dir_.File("frames.log");
    args.insert(args.end(), {"--log", log_, "--ack-ms", "4999"});
    devsim_ = std::make_unique<DevsimProcess>(args);
    ASSERT_FALSE(devsim_->port().empty()) << "the emulator did not start";
    link_ = std::make_unique<RawLink>(devsim_->port());
    ASSERT_TRUE(link_->ok());
    ASSERT_THAT(link_->Receive(1), ElementsAre(kAck)) << "no greeting";
  }
  // The log's lines other than commands received.
  std::vector<std::string> Sent() const {
    std::vector<std::string> lines;
    for (const std::string& line : ReadLines(log_)) {
      if (line.rfind("RX ", 0) != 0) lines.push_back(line);
    }
    return lines;
  }

  TempDir dir_;
  std::string log_;
  std::unique_ptr<DevsimProcess> devsim_;
  std::unique_ptr<RawLink> link_;
};

TEST_F(DevsimTimingTest, CrossingAcknowledgementPrecedesEveryNthCommand) {
  Start({"--cross-every", "2"});
  EXPECT_THAT(link_->Exchange({0xFD}, 2), ElementsAre(Bytes{0xFD, 3}, kAck));
  EXPECT_THAT(link_->Exchange({0xFB}, 3),
              ElementsAre(kAck, Bytes{0xFB, 4}, kAck));
  // The program's second send of the crossed command is the third command.
  EXPECT_THAT(link_->Exchange({0xFB}, 2), ElementsAre(Bytes{0xFB, 4}, kAck));
  EXPECT_THAT(link_->Exchange({0xFF}, 3), ElementsAre(kAck, Bytes{0xFF}, kAck));
  EXPECT_THAT(Sent(), ElementsAre("TX FD 03", "TX CROSS", "TX FB 04",
                                  "TX FB 04", "TX CROSS", "TX FF"));
}

// A lost command is not run; the device answers as it answers a damaged
// frame, by repeating its last reply.
TEST_F(DevsimTimingTest, EverySecondLostCommandGetsTheLastReplyAgain) {
  Start({"--lose-command", "FB"});
  EXPECT_THAT(link_->Exchange({0xFB}, 2), ElementsAre(Bytes{0xFB, 4}, kAck));
  EXPECT_THAT(link_->Exchange({0xFD}, 2), ElementsAre(Bytes{0xFD, 3}, kAck));
  EXPECT_THAT(link_->Exchange({0xFB}, 2), ElementsAre(Bytes{0xFD, 3}, kAck));
  EXPECT_THAT(link_->Exchange({0xFB}, 2), ElementsAre(Bytes{0xFB, 4}, kAck));
  EXPECT_THAT(Sent(), ElementsAre("TX FB 04", "TX FD 03", "LOST FB", "TX FD 03",
                                  "TX FB 04"));
}

TEST_F(DevsimTimingTest,
       EveryNthCommandIsAnsweredTwiceBeforeItsAcknowledgement) {
  Start({"--double-reply-every", "2"});
  EXPECT_THAT(link_->Exchange({0xFD}, 2), ElementsAre(Bytes{0xFD, 3}, kAck));
  EXPECT_THAT(link_->Exchange({0xFB}, 3),
              ElementsAre(Bytes{0xFB, 4}, Bytes{0xFB, 4}, kAck));
  EXPECT_THAT(link_->Exchange({0xFF}, 2), ElementsAre(Bytes{0xFF}, kAck));
  EXPECT_THAT(link_->Receive(1, 300), IsEmpty());
  EXPECT_THAT(Sent(),
              ElementsAre("TX FD 03", "TX FB 04", "TX DOUBLE FB 04", "TX FF"));
}

TEST_F(DevsimTimingTest, WaitingCommandsGetTheirRepliesBeforeTheirAcks) {
  Start({"--reply-batch"});
  link_->Send({{0xFD}, {0xFB}, {0xFF}});
  EXPECT_THAT(link_->Receive(6), ElementsAre(Bytes{0xFD, 3}, Bytes{0xFB, 4},
                                             Bytes{0xFF}, kAck, kAck, kAck));
  // A command alone is acknowledged right behind its reply.
  EXPECT_THAT(link_->Exchange({0xFD}, 2), ElementsAre(Bytes{0xFD, 3}, kAck));
  EXPECT_THAT(Sent(), ElementsAre("TX FD 03", "TX FB 04", "TX FF", "BATCH 3",
                                  "TX FD 03"));
}

TEST_F(DevsimTimingTest, WithoutReplyBatchEachReplyHasItsAck) {
  Start({});
  link_->Send({{0xFD}, {0xFB}});
  EXPECT_THAT(link_->Receive(4),
              ElementsAre(Bytes{0xFD, 3}, kAck, Bytes{0xFB, 4}, kAck));
}

TEST_F(DevsimTimingTest, ShortReplyLosesItsLastByteUnlessTheCommandRepeats) {
  Start({"--short-reply", "f3"});
  EXPECT_THAT(link_->Exchange(kSelectDemo8K, 2),
              ElementsAre(Bytes{0xF9}, kAck));
  const Bytes cut(kFlashSizeReply.begin(), kFlashSizeReply.end() - 1);
  EXPECT_THAT(link_->Exchange({0xF3}, 2), ElementsAre(cut, kAck));
  EXPECT_THAT(link_->Exchange({0xF3}, 2), ElementsAre(kFlashSizeReply, kAck));
  EXPECT_THAT(link_->Exchange({0xF2}, 2),
              ElementsAre(Bytes{0xF2, 0x00, 0x02, 0x00, 0x00}, kAck));
  EXPECT_THAT(link_->Exchange({0xF3}, 2), ElementsAre(cut, kAck));
  EXPECT_THAT(Sent(),
              ElementsAre("TX F9", "TX SHORT F3 00 20 00", "TX F3 00 20 00 00",
                          "TX F2 00 02 00 00", "TX SHORT F3 00 20 00"));
}

TEST_F(DevsimTimingTest, ReplyOfTheOpcodeAloneIsNeverCut) {
  Start({"--short-reply", "0xF9"});
  // Cut, it would be an empty frame: an acknowledgement.
  EXPECT_THAT(link_->Exchange(kSelectDemo8K, 2),
              ElementsAre(Bytes{0xF9}, kAck));
  EXPECT_THAT(link_->Receive(1, 300), IsEmpty());
}

}  // namespace
}  // namespace taktm::testing
