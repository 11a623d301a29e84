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
  // An acknowledgement in a chunk of its own: the head goes out.
  void SendHead() { Feed(Ack()); }
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
  SendHead();
  Feed({0xD1, 0xE0, 0xEB, 0xEE, 0x02, 0x8C, 0xFC, 0x03, 0xFF});
  EXPECT_EQ(handler_.replies, (std::vector<Bytes>{{0xFF}, {0xFC, 0x03}}));
  EXPECT_TRUE(queue_.empty());
}

TEST_F(ReceiveParserTest, ReplySplitAtEveryBoundaryIsHandledOnceComplete) {
  const Bytes payload = Payload(0x09, 237);
  const Bytes frame = Frame(payload);
  for (size_t cut = 1; cut < frame.size(); ++cut) {
    queue_.EnqueueCommand({0x09});
    SendHead();
    handler_.replies.clear();
    Feed(Bytes(frame.begin(), frame.begin() + cut));
    EXPECT_TRUE(handler_.replies.empty()) << "cut " << cut;
    Feed(Bytes(frame.begin() + cut, frame.end()));
    ASSERT_EQ(handler_.replies.size(), 1u) << "cut " << cut;
    EXPECT_EQ(handler_.replies[0], payload);
    EXPECT_TRUE(queue_.empty());
  }
}

TEST_F(ReceiveParserTest, ByteByByteFeedFindsEveryFrame) {
  queue_.EnqueueCommand({0x01});
  queue_.EnqueueCommand({0x02});
  const Bytes stream = Concat({Ack(),
                               {0x55, 0xD1},
                               Frame({0x01, 0xAA}),
                               Ack(),
                               Frame({0x02, 0xBB, 0xCC})});
  for (uint8_t b : stream) Feed({b});
  EXPECT_EQ(handler_.replies,
            (std::vector<Bytes>{{0x01, 0xAA}, {0x02, 0xBB, 0xCC}}));
  EXPECT_EQ(host_.writes.size(), 2u);
}

// A reply answers only a command that went out before the reply arrived: a
// second reply in the same chunk cannot answer the command that became the
// head meanwhile, and replies out of order answer nothing.
TEST_F(ReceiveParserTest, ARepliesOnlyAHeadSentBeforeItArrived) {
  queue_.EnqueueCommand({0x01});
  queue_.EnqueueCommand({0x02});
  SendHead();
  Feed(Concat({Frame({0x01}), Frame({0x02, 0x42})}));
  EXPECT_EQ(handler_.replies, (std::vector<Bytes>{{0x01}}));
  ASSERT_EQ(queue_.count(), 1u);
  SendHead();
  Feed(Frame({0x02, 0x42}));
  EXPECT_EQ(handler_.replies, (std::vector<Bytes>{{0x01}, {0x02, 0x42}}));
  EXPECT_TRUE(queue_.empty());

  queue_.EnqueueCommand({0x01});
  queue_.EnqueueCommand({0x02});
  handler_.replies.clear();
  SendHead();
  Feed(Concat({Frame({0x02}), Frame({0x01})}));  // out of order
  EXPECT_EQ(handler_.replies, (std::vector<Bytes>{{0x01}}));
  ASSERT_EQ(queue_.count(), 1u);
  EXPECT_EQ(queue_.HeadOpcode(), 0x02);
}

// What follows an acknowledgement in its chunk is handled after the send: a
// reply to the head sent before is dispatched; a reply that came with the
// acknowledgement that first sent the head cannot be its answer. An
// acknowledgement that crossed the head sends nothing.
TEST_F(ReceiveParserTest, AckThenReplyInOneChunkHandlesTheReplyAfterTheSend) {
  queue_.EnqueueCommand({0x07});
  queue_.EnqueueCommand({0x08});
  SendHead();
  Feed(Concat({Ack(), Frame({0x07})}));  // an idle acknowledgement crossed
  EXPECT_EQ(host_.writes, (std::vector<Bytes>{Frame({0x07})}));
  EXPECT_EQ(handler_.replies, (std::vector<Bytes>{{0x07}}));
  EXPECT_EQ(parser_.fill_count(), 1);  // the reply's sum byte

  Feed(Concat({Ack(), Frame({0x08})}));
  EXPECT_EQ(host_.writes.size(), 2u);
  EXPECT_EQ(handler_.replies.size(), 1u);
  EXPECT_EQ(queue_.count(), 1u);
  Feed(Frame({0x08}));
  EXPECT_TRUE(queue_.empty());
}

// A reply whose first bytes came in the chunk of the acknowledgement that
// sent the head keeps that chunk's stamp, however few of its header bytes
// it held: it cannot answer the head.
TEST_F(ReceiveParserTest, ReplyBegunWithTheSendingAckCannotAnswerTheHead) {
  const Bytes reply = Frame({0x0C});
  for (size_t cut = 1; cut <= 5; ++cut) {
    FakeLinkHost host;
    CommandQueue queue(host);
    RecordingReplyHandler handler;
    ReceiveParser parser(queue, host, handler);
    queue.EnqueueCommand({0x0C});
    const Bytes first =
        Concat({Ack(), Bytes(reply.begin(), reply.begin() + cut)});
    parser.Comm321ReceiveData(first.data(), first.size());
    const Bytes rest(reply.begin() + cut, reply.end());
    parser.Comm321ReceiveData(rest.data(), rest.size());
    EXPECT_TRUE(handler.replies.empty()) << cut;
    // The device's own answer, later, completes it.
    parser.Comm321ReceiveData(reply.data(), reply.size());
    EXPECT_EQ(handler.replies.size(), 1u) << cut;
  }
}

TEST_F(ReceiveParserTest, ReplyThenAckInOneChunkHandlesReplyFirst) {
  queue_.EnqueueCommand({0x07});
  queue_.EnqueueCommand({0xFF});
  SendHead();
  Feed(Concat({Frame({0x07}), Ack()}));
  EXPECT_EQ(handler_.replies, (std::vector<Bytes>{{0x07}}));
  ASSERT_EQ(host_.writes.size(), 2u);
  EXPECT_EQ(host_.writes[1], Frame({0xFF}));  // the new head went out
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
  SendHead();
  Bytes bad = Frame({0x03, 0x01});
  bad.back() ^= 0x40;
  Feed(Concat({bad, Frame({0x03, 0x02})}));
  EXPECT_EQ(handler_.replies, (std::vector<Bytes>{{0x03, 0x02}}));
}

TEST_F(ReceiveParserTest, MismatchedOrUnexpectedReplyChangesNothing) {
  queue_.EnqueueCommand({0x0B});
  for (int i = 0; i < 3; ++i) SendHead();  // sent, passed over, sent again
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
  SendHead();
  SendHead();
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
  SendHead();
  Feed(Frame({0x09, 1, 2, 3, 4}));
  SendHead();
  Feed(Frame({0x0D, 9}));
  const ReplyRecord& r = parser_.reply_record();
  EXPECT_EQ(r[0], 0x0D);
  EXPECT_EQ(r[1], 9);
  EXPECT_EQ(r[2], 2);
  EXPECT_EQ(r[4], 4);
}

TEST_F(ReceiveParserTest, OverflowingChunkEmptiesTheBufferFirst) {
  queue_.EnqueueCommand({0x09});
  SendHead();
  const Bytes big = Frame(Payload(0x09, 255));
  Feed(Bytes(big.begin(), big.begin() + 250));
  EXPECT_EQ(parser_.fill_count(), 251);      // behind the acknowledgement's sum
  Bytes tail(big.begin() + 250, big.end());  // 12 bytes: fits, no overflow
  Bytes noise(60, 0x11);
  Feed(noise);  // 251 + 60 > 300: the partial frame is lost
  EXPECT_EQ(parser_.fill_count(), 60);
  Feed(tail);
  EXPECT_TRUE(handler_.replies.empty());
  Feed(Frame({0x09}));
  EXPECT_EQ(handler_.replies.size(), 1u);
}

TEST_F(ReceiveParserTest, ChunkLongerThanTheBufferLosesNoFrame) {
  queue_.EnqueueCommand({0x01});
  SendHead();
  Bytes stream = Frame(Payload(0x01, 200));
  for (int i = 0; i < 100; ++i) stream = Concat({stream, {0x55}, Ack()});
  ASSERT_GT(stream.size(), 800u);
  Feed(stream);
  EXPECT_EQ(handler_.replies, (std::vector<Bytes>{Payload(0x01, 200)}));
  EXPECT_EQ(host_.watchdog_restarts, 1 + 100);
}

// A host that opens the retry warning inside the receive handler (the event
// loop runs in the box): the bytes that arrive meanwhile are not lost but
// parsed right after the frame that opened it, in order.
TEST_F(ReceiveParserTest, DataArrivingDuringTheRetryWarningIsHandledInOrder) {
  queue_.EnqueueCommand({0x0B});
  while (queue_.UnansweredSends() < 7) SendHead();
  SendHead();  // the first acknowledgement chunk after a send sends nothing
  host_.on_warning = [&] {
    queue_.EnqueueCommand({0x0C});
    Feed(Ack());
    Feed({0xD1, 0xE0});
    Feed({0xEB, 0xEE, 0x01, 0x8B, 0x0C, 0x0C});
  };
  SendHead();
  EXPECT_EQ(host_.warnings.size(), 1u);
  EXPECT_EQ(host_.watchdog_restarts, 16);
  EXPECT_EQ(handler_.replies, (std::vector<Bytes>{{0x0C}}));
  EXPECT_TRUE(queue_.empty());
  EXPECT_EQ(parser_.fill_count(), 1);
}

}  // namespace
}  // namespace taktm
