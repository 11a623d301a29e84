#include "link/receive_parser.h"

#include <gtest/gtest.h>

#include "link/command_queue.h"
#include "support/fake_link_host.h"

namespace taktm {
namespace {

using testing::Ack;
using testing::Bytes;
using testing::Concat;
using testing::FakeLinkHost;
using testing::Frame;
using testing::RecordingReplyHandler;

class ReceiveParserTest : public ::testing::Test {
 protected:
  void Feed(const Bytes& bytes) {
    parser_.Comm321ReceiveData(bytes.data(), bytes.size());
  }
  Bytes Payload(uint8_t opcode, size_t size) {
    Bytes p(size);
    p[0] = opcode;
    for (size_t i = 1; i < size; ++i) p[i] = static_cast<uint8_t>(i * 7 + 3);
    return p;
  }

  FakeLinkHost host_;
  CommandQueue queue_{host_};
  RecordingReplyHandler handler_;
  ReceiveParser parser_{queue_, host_, handler_};
};

TEST_F(ReceiveParserTest, WorkedFramesParseAsAckAndTwoReplies) {
  queue_.EnqueueCommand({0xFF});
  queue_.EnqueueCommand({0xFC, 0x03});
  Feed({0xD1, 0xE0, 0xEB, 0xEE, 0x00, 0x8A, 0x00});
  EXPECT_EQ(host_.watchdog_restarts, 1);
  ASSERT_EQ(host_.writes.size(), 1u);
  EXPECT_EQ(host_.writes[0],
            (Bytes{0xD1, 0xE0, 0xEB, 0xEE, 0x01, 0x8B, 0xFF, 0xFF}));
  Feed({0xD1, 0xE0, 0xEB, 0xEE, 0x01, 0x8B, 0xFF, 0xFF});
  Feed({0xD1, 0xE0, 0xEB, 0xEE, 0x02, 0x8C, 0xFC, 0x03, 0xFF});
  EXPECT_EQ(handler_.replies, (std::vector<Bytes>{{0xFF}, {0xFC, 0x03}}));
  EXPECT_TRUE(queue_.empty());
}

TEST_F(ReceiveParserTest, ReplySplitAtEveryBoundaryIsHandledOnceComplete) {
  const Bytes payload = Payload(0x09, 237);
  const Bytes frame = Frame(payload);
  for (size_t cut = 1; cut < frame.size(); ++cut) {
    queue_.EnqueueCommand({0x09});
    handler_.replies.clear();
    Feed(Bytes(frame.begin(), frame.begin() + cut));
    EXPECT_TRUE(handler_.replies.empty()) << "cut " << cut;
    Feed(Bytes(frame.begin() + cut, frame.end()));
    ASSERT_EQ(handler_.replies.size(), 1u) << "cut " << cut;
    EXPECT_EQ(handler_.replies[0], payload);
    EXPECT_TRUE(queue_.empty());
    Feed(Ack());  // empties the buffer for the next round
  }
}

TEST_F(ReceiveParserTest, ByteByByteFeedFindsEveryFrame) {
  queue_.EnqueueCommand({0x01});
  queue_.EnqueueCommand({0x02});
  const Bytes stream =
      Concat({{0x55, 0xD1}, Frame({0x01, 0xAA}), Frame({0x02, 0xBB, 0xCC})});
  for (uint8_t b : stream) Feed({b});
  EXPECT_EQ(handler_.replies,
            (std::vector<Bytes>{{0x01, 0xAA}, {0x02, 0xBB, 0xCC}}));
}

TEST_F(ReceiveParserTest,
       TwoRepliesInOneChunkAreMatchedAgainstTheHeadOfTheMoment) {
  queue_.EnqueueCommand({0x01});
  queue_.EnqueueCommand({0x02});
  Feed(Concat({Frame({0x01}), Frame({0x02, 0x42})}));
  EXPECT_EQ(handler_.replies, (std::vector<Bytes>{{0x01}, {0x02, 0x42}}));
  EXPECT_TRUE(queue_.empty());

  queue_.EnqueueCommand({0x01});
  queue_.EnqueueCommand({0x02});
  handler_.replies.clear();
  Feed(Concat({Frame({0x02}), Frame({0x01})}));  // out of order
  EXPECT_EQ(handler_.replies, (std::vector<Bytes>{{0x01}}));
  ASSERT_EQ(queue_.count(), 1u);
  EXPECT_EQ(queue_.HeadOpcode(), 0x02);
}

TEST_F(ReceiveParserTest, AckThenReplyInOneChunkSendsAndDropsTheReply) {
  queue_.EnqueueCommand({0x07});
  Feed(Concat({Ack(), Frame({0x07})}));
  EXPECT_EQ(host_.writes.size(), 1u);
  EXPECT_TRUE(handler_.replies.empty());
  EXPECT_EQ(queue_.count(), 1u);
  EXPECT_EQ(parser_.fill_count(), 0);
}

TEST_F(ReceiveParserTest, ReplyThenAckInOneChunkHandlesReplyFirst) {
  queue_.EnqueueCommand({0x07});
  queue_.EnqueueCommand({0xFF});
  Feed(Concat({Frame({0x07}), Ack()}));
  EXPECT_EQ(handler_.replies, (std::vector<Bytes>{{0x07}}));
  ASSERT_EQ(host_.writes.size(), 1u);
  EXPECT_EQ(host_.writes[0], Frame({0xFF}));  // the new head went out
}

TEST_F(ReceiveParserTest, NoiseBeforePreambleIsSkippedAndShortTailWaits) {
  queue_.EnqueueCommand({0x05});
  Feed({0x00, 0x12, 0xD1, 0xE0, 0xEB});
  EXPECT_TRUE(host_.writes.empty());
  EXPECT_EQ(parser_.fill_count(), 5);
  Feed({0xEE, 0x00, 0x8A});
  EXPECT_EQ(host_.writes.size(), 1u);
}

TEST_F(ReceiveParserTest, BadHeaderSumWaitsForTheNextChunk) {
  queue_.EnqueueCommand({0x05});
  Bytes bad = Ack();
  bad[5] ^= 0x01;
  Feed(Concat({bad, Ack()}));
  EXPECT_TRUE(host_.writes.empty());  // search resumes only with more bytes
  EXPECT_EQ(parser_.scan_position(), 1);
  Feed({0x00});
  EXPECT_EQ(host_.writes.size(), 1u);
}

TEST_F(ReceiveParserTest, BadPayloadSumIsSkippedAndNextFrameFoundAtOnce) {
  queue_.EnqueueCommand({0x03});
  Bytes bad = Frame({0x03, 0x01});
  bad.back() ^= 0x40;
  Feed(Concat({bad, Frame({0x03, 0x02})}));
  EXPECT_EQ(handler_.replies, (std::vector<Bytes>{{0x03, 0x02}}));
}

TEST_F(ReceiveParserTest, MismatchedOrUnexpectedReplyChangesNothing) {
  queue_.EnqueueCommand({0x0B});
  Feed(Ack());
  Feed(Ack());
  ASSERT_EQ(queue_.UnansweredSends(), 2);
  Feed(Frame({0x0C}));
  EXPECT_TRUE(handler_.replies.empty());
  EXPECT_EQ(queue_.count(), 1u);
  EXPECT_EQ(queue_.UnansweredSends(), 2);
  EXPECT_EQ(parser_.fill_count(), 1);  // only the payload-sum byte is left

  queue_.ClearQueue();
  Feed(Frame({0x0B}));
  EXPECT_TRUE(handler_.replies.empty());
}

TEST_F(ReceiveParserTest, MatchedReplyResetsTheSendCounterBeforeDispatch) {
  queue_.EnqueueCommand({0x0B});
  Feed(Ack());
  Feed(Ack());
  int seen = -1;
  handler_.on_reply = [&](const ReplyRecord&, uint8_t) {
    seen = queue_.UnansweredSends();
    EXPECT_EQ(queue_.count(), 1u);  // head removed only after dispatch
  };
  Feed(Frame({0x0B}));
  EXPECT_EQ(seen, 0);
  EXPECT_TRUE(queue_.empty());
}

TEST_F(ReceiveParserTest, ReplyRecordKeepsBytesBeyondTheReply) {
  queue_.EnqueueCommand({0x09});
  queue_.EnqueueCommand({0x0D});
  Feed(Frame({0x09, 1, 2, 3, 4}));
  Feed(Frame({0x0D, 9}));
  const ReplyRecord& r = parser_.reply_record();
  EXPECT_EQ(r[0], 0x0D);
  EXPECT_EQ(r[1], 9);
  EXPECT_EQ(r[2], 2);
  EXPECT_EQ(r[4], 4);
}

TEST_F(ReceiveParserTest, OverflowingChunkEmptiesTheBufferFirst) {
  queue_.EnqueueCommand({0x09});
  const Bytes big = Frame(Payload(0x09, 255));
  Feed(Bytes(big.begin(), big.begin() + 250));
  EXPECT_EQ(parser_.fill_count(), 250);
  Bytes tail(big.begin() + 250, big.end());  // 12 bytes: fits, no overflow
  Bytes noise(60, 0x11);
  Feed(noise);  // 250 + 60 > 300: the partial frame is lost
  EXPECT_EQ(parser_.fill_count(), 60);
  Feed(tail);
  EXPECT_TRUE(handler_.replies.empty());
  Feed(Frame({0x09}));
  EXPECT_EQ(handler_.replies.size(), 1u);
}

TEST_F(ReceiveParserTest, ChunkLongerThanTheBufferLosesNoFrame) {
  Bytes stream;
  for (uint8_t op = 1; op <= 4; ++op) {
    queue_.EnqueueCommand({op});
    stream = Concat({stream, Frame(Payload(op, 200))});
  }
  ASSERT_GT(stream.size(), 800u);
  Feed(stream);
  ASSERT_EQ(handler_.replies.size(), 4u);
  for (uint8_t op = 1; op <= 4; ++op) {
    EXPECT_EQ(handler_.replies[op - 1], Payload(op, 200));
  }
}

TEST_F(ReceiveParserTest, DataArrivingDuringTheRetryWarningIsDropped) {
  queue_.EnqueueCommand({0x0B});
  for (int i = 0; i < 7; ++i) Feed(Ack());
  host_.on_warning = [&] {
    // The modal box keeps the event loop running: another chunk arrives.
    Feed({0xD1, 0xE0, 0xEB});
  };
  Feed(Ack());
  EXPECT_EQ(host_.warnings.size(), 1u);
  EXPECT_EQ(parser_.fill_count(), 0);
  EXPECT_EQ(parser_.scan_position(), 0);
}

}  // namespace
}  // namespace taktm
