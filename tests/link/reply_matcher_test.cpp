// The matching rule at work on the line's real misbehaviour: acknowledgements
// that cross a command, a device that answers both copies, replies batched
// before their acknowledgements, acknowledgements piled up behind a slow
// host. Commands are opcode-only writes, whose replies all look alike.
#include "link/reply_matcher.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "link/command_queue.h"
#include "link/receive_parser.h"
#include "support/fake_link_host.h"

namespace taktm {
namespace {

using testing::Ack;
using testing::Bytes;
using testing::Concat;
using testing::FakeLinkHost;
using testing::Frame;
using testing::RecordingReplyHandler;

const Bytes kWrite = {0x0A};  // the reply to every write

class ReplyMatcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (uint8_t i = 1; i <= 3; ++i) queue_.EnqueueCommand({0x0A, i});
  }
  void Feed(const Bytes& bytes) {
    parser_.Comm321ReceiveData(bytes.data(), bytes.size());
  }
  // The commands written, by their index byte.
  std::vector<int> Sent() const {
    std::vector<int> out;
    for (const Bytes& w : host_.writes) out.push_back(w[7]);
    return out;
  }
  // The head goes out, and goes out again at the second chunk of
  // acknowledgements after it (its reply was lost, or the first send was):
  // the device may answer both sends.
  void SendCrossed() {
    Feed(Ack());
    Feed(Ack());
    Feed(Ack());
  }

  FakeLinkHost host_;
  CommandQueue queue_{host_};
  RecordingReplyHandler handler_;
  ReceiveParser parser_{queue_, host_, handler_};
};

// The device answers both copies of a crossed command, each followed by its
// acknowledgement. The second answer is a late copy even when the next
// command has already gone out, and its acknowledgement sends nothing: the
// next command goes out once, not twice, whether the frames arrive together
// or one by one.
class CrossedCommandTest : public ReplyMatcherTest,
                           public ::testing::WithParamInterface<bool> {};

TEST_P(CrossedCommandTest, TwinIsTurnedAwayAndTheRhythmHolds) {
  SendCrossed();
  const std::vector<Bytes> frames = {Frame(kWrite), Ack(), Frame(kWrite),
                                     Ack()};
  if (GetParam()) {
    Feed(Concat({frames[0], frames[1], frames[2], frames[3]}));
  } else {
    for (const Bytes& f : frames) Feed(f);
  }
  EXPECT_EQ(handler_.replies.size(), 1u);
  EXPECT_EQ(Sent(), (std::vector<int>{1, 1, 2}));
  Feed(Concat({Frame(kWrite), Ack()}));
  Feed(Concat({Frame(kWrite), Ack()}));
  EXPECT_EQ(Sent(), (std::vector<int>{1, 1, 2, 3}));
  EXPECT_EQ(handler_.replies.size(), 3u);
  EXPECT_TRUE(queue_.empty());
}

INSTANTIATE_TEST_SUITE_P(OneChunkOrFrameByFrame, CrossedCommandTest,
                         ::testing::Bool());

// Replies to both copies before their acknowledgements; and one command
// answered twice before its acknowledgement.
TEST_F(ReplyMatcherTest, BatchedAndDoubledRepliesCompleteOneCommandEach) {
  SendCrossed();
  Feed(Concat({Frame(kWrite), Frame(kWrite), Ack(), Ack()}));
  EXPECT_EQ(Sent(), (std::vector<int>{1, 1, 2}));
  Feed(Frame(kWrite));
  Feed(Frame(kWrite));  // the device answered the second one twice
  Feed(Ack());
  EXPECT_EQ(Sent(), (std::vector<int>{1, 1, 2, 3}));
  EXPECT_EQ(handler_.replies.size(), 2u);
  Feed(Concat({Frame(kWrite), Ack()}));
  EXPECT_TRUE(queue_.empty());
  EXPECT_EQ(handler_.replies.size(), 3u);
}

// Replies that carry nothing but the opcode cannot be told apart: while the
// crossed command's second answer is still to come, the next command is not
// sent, so that answer can only arrive before it and never pass for its.
TEST_F(ReplyMatcherTest, NextWriteWaitsForTheCrossedCommandsSecondAnswer) {
  SendCrossed();
  Feed(Concat({Frame(kWrite), Ack()}));
  EXPECT_EQ(Sent(), (std::vector<int>{1, 1}));
  EXPECT_EQ(parser_.matcher().expected_copies(), 1);
  Feed(Concat({Frame(kWrite), Ack()}));
  EXPECT_EQ(Sent(), (std::vector<int>{1, 1, 2}));
  EXPECT_EQ(handler_.replies.size(), 1u);
  Feed(Concat({Frame(kWrite), Ack()}));
  EXPECT_EQ(handler_.replies.size(), 2u);
  EXPECT_EQ(Sent(), (std::vector<int>{1, 1, 2, 3}));
}

// The second answer lost without a trace: the device idles, and after four
// chunks holding an idle acknowledgement the next command goes out. Idle
// acknowledgements piled up in one chunk count once: they may all have left
// before the second send reached the device.
TEST_F(ReplyMatcherTest, LostSecondAnswerReleasesTheNextCommandOnceIdle) {
  SendCrossed();
  Feed(Concat({Frame(kWrite), Ack()}));
  Feed(Concat({Ack(), Ack(), Ack(), Ack(), Ack()}));
  for (int i = 0; i < 2; ++i) Feed(Ack());
  EXPECT_EQ(Sent(), (std::vector<int>{1, 1}));
  Feed(Ack());
  EXPECT_EQ(Sent(), (std::vector<int>{1, 1, 2}));
  EXPECT_EQ(parser_.matcher().expected_copies(), 0);
  EXPECT_TRUE(host_.warnings.empty());
}

// Replies that echo their command (reads) tell a late answer apart by
// themselves: the next command goes out at once.
TEST(ReplyMatcherReadTest, NextReadIsNotHeldBack) {
  FakeLinkHost host;
  CommandQueue queue(host);
  RecordingReplyHandler handler;
  handler.answers = [](const ReplyRecord& reply, uint8_t,
                       const std::vector<uint8_t>& head) {
    return reply[0] == head[0] && reply[1] == head[1];
  };
  ReceiveParser parser(queue, host, handler);
  const auto feed = [&](const Bytes& b) {
    parser.Comm321ReceiveData(b.data(), b.size());
  };
  queue.EnqueueCommand({0x09, 1});
  queue.EnqueueCommand({0x09, 2});
  feed(Ack());
  feed(Ack());
  feed(Ack());  // read 1 goes out twice
  feed(Concat({Frame({0x09, 1}), Ack()}));
  EXPECT_EQ(host.writes.size(), 3u);        // read 2 at once
  feed(Concat({Frame({0x09, 1}), Ack()}));  // the twin, turned away
  EXPECT_EQ(host.writes.size(), 3u);
  feed(Concat({Frame({0x09, 2}), Ack()}));
  EXPECT_EQ(handler.replies.size(), 2u);
  EXPECT_TRUE(queue.empty());
}

// When the frame sent after a late copy was lost on the line, it goes out
// again at the second acknowledgement chunk.
TEST_F(ReplyMatcherTest, AFrameLostAfterALateCopyGoesOutAgain) {
  SendCrossed();
  Feed(Concat({Frame(kWrite), Ack(), Frame(kWrite), Ack()}));
  EXPECT_EQ(Sent(), (std::vector<int>{1, 1, 2}));
  Feed(Ack());  // idle: the device never received command 2
  EXPECT_EQ(Sent(), (std::vector<int>{1, 1, 2}));
  Feed(Ack());
  EXPECT_EQ(Sent(), (std::vector<int>{1, 1, 2, 2}));
  EXPECT_EQ(parser_.matcher().skips_due(), 0);
}

// A slow host reads the device's idle acknowledgements all at once: they
// count as one chunk. Before, each would have sent the head, and eight of
// them cleared the queue with the retry warning.
TEST_F(ReplyMatcherTest, AcknowledgementsPiledUpInOneChunkSendOnce) {
  Feed(Ack());
  Bytes pile;
  for (int i = 0; i < 12; ++i) pile = Concat({pile, Ack()});
  Feed(pile);
  EXPECT_EQ(Sent(), (std::vector<int>{1}));
  EXPECT_EQ(host_.watchdog_restarts, 13);
  Feed(pile);  // the second chunk after the send
  EXPECT_EQ(Sent(), (std::vector<int>{1, 1}));
  EXPECT_TRUE(host_.warnings.empty());
  // Both sends answered: the next command goes out once, at the second
  // answer's acknowledgement.
  Feed(Concat({Frame(kWrite), Ack(), Frame(kWrite), Ack(), Ack()}));
  EXPECT_EQ(Sent(), (std::vector<int>{1, 1, 2}));
}

// A device that acknowledges as it takes a command into work and again
// after the reply: however its acknowledgements are cut into chunks, each
// command goes out once.
TEST_F(ReplyMatcherTest, AcknowledgementOnReceiptSendsNothing) {
  Feed(Ack());
  for (int i = 1; i <= 3; ++i) {
    Feed(Ack());  // taken into work
    if (i % 2 == 1) {
      Feed(Concat({Frame(kWrite), Ack()}));
    } else {
      Feed(Frame(kWrite));
      Feed(Ack());
    }
  }
  EXPECT_EQ(Sent(), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(handler_.replies.size(), 3u);
  EXPECT_TRUE(queue_.empty());
}

// A reply with a bad sum was the device's answer: the acknowledgement right
// behind it sends the command again at once, without waiting a chunk.
TEST_F(ReplyMatcherTest, AckBehindADamagedReplyResendsAtOnce) {
  Feed(Ack());
  Feed(Ack());  // taken into work
  Bytes bad = Frame(kWrite);
  bad.back() ^= 0xFF;
  Feed(Concat({bad, Ack()}));
  EXPECT_EQ(Sent(), (std::vector<int>{1, 1}));
  Feed(Concat({Frame(kWrite), Ack()}));
  EXPECT_EQ(handler_.replies.size(), 1u);
}

// A command never answered goes out exactly eight times, never more than
// once per acknowledgement, then the queue is cleared with one warning.
TEST_F(ReplyMatcherTest, UnansweredCommandIsWrittenEightTimes) {
  int acks = 0;
  while (host_.warnings.empty() && acks < 100) {
    Feed(Ack());
    ++acks;
    EXPECT_LE(host_.writes.size(), static_cast<size_t>(acks));
  }
  EXPECT_EQ(Sent(), (std::vector<int>(8, 1)));
  EXPECT_EQ(host_.warnings.size(), 1u);
  EXPECT_TRUE(queue_.empty());
  EXPECT_FALSE(queue_.LimitAfterForeignReply());
}

// Every reply had the head's opcode but another address: when the retry
// limit ends it, the queue says the device answered another command.
TEST(ReplyMatcherReadTest, ForeignRepliesAreNamedAtTheRetryLimit) {
  FakeLinkHost host;
  CommandQueue queue(host);
  RecordingReplyHandler handler;
  handler.answers = [](const ReplyRecord& reply, uint8_t,
                       const std::vector<uint8_t>& head) {
    return reply[0] == head[0] && reply[1] == head[1];
  };
  ReceiveParser parser(queue, host, handler);
  queue.EnqueueCommand({0x09, 1});
  const Bytes ack = Ack();
  parser.Comm321ReceiveData(ack.data(), ack.size());
  for (int i = 0; i < 20 && host.warnings.empty(); ++i) {
    const Bytes b = Concat({Frame({0x09, 7}), Ack()});
    parser.Comm321ReceiveData(b.data(), b.size());
  }
  EXPECT_EQ(host.writes.size(), 8u);
  EXPECT_EQ(host.warnings.size(), 1u);
  EXPECT_TRUE(queue.LimitAfterForeignReply());
  EXPECT_TRUE(handler.replies.empty());
}

// One head that waited many idle chunks raises the hold's threshold; a
// quiet spell of heads answered at once brings it down again.
TEST_F(ReplyMatcherTest, IdleThresholdDecaysAfterAQuietSpell) {
  queue_.ClearQueue();
  queue_.EnqueueCommand({0x0A, 0});
  for (int i = 0; i < 13; ++i) Feed(Ack());  // 12 idle chunks, 7 sends
  Feed(Frame(kWrite));
  const int raised = parser_.matcher().longest_idle_wait();
  EXPECT_GE(raised, 10);
  // Its late copies come in, then quiet commands.
  for (int i = 0; i < 6; ++i) Feed(Frame(kWrite));
  for (int i = 1; i <= 40; ++i) {
    queue_.EnqueueCommand({0x0A, static_cast<uint8_t>(i)});
    Feed(Ack());
    Feed(Concat({Frame(kWrite)}));
  }
  EXPECT_TRUE(queue_.empty());
  EXPECT_LT(parser_.matcher().longest_idle_wait(), raised);
}

// A line simulated tick by tick: a sequential device that acknowledges
// after every reply and while idle, wire delays, a host that reads at
// irregular moments (a loaded machine), command and reply frames lost.
// Over many schedules every command completes and reaches the device. When
// replies tell the commands apart (they carry the command's index after the
// opcode, which the opcode-only rule does not look at), each completes only
// with the answer to that very command. When they cannot be told apart, a
// command may complete with its predecessor's late answer once it has gone
// out (the device still runs it): never before it was sent.
class LineSimulation : public LinkHost, public ReplyHandler {
 public:
  struct Params {
    int ack_period;
    int max_host_gap;
    int max_wire;
    bool batch;
    int lose_per_mille;
    bool tagged;
  };

  LineSimulation(const Params& p, uint32_t seed) : p_(p), random_(seed) {
    for (int i = 0; i < kCommands; ++i) {
      queue_.EnqueueCommand({0x0A, static_cast<uint8_t>(i)});
    }
  }

  // Runs until the queue is empty or the tick limit; returns the ticks.
  int Run(int limit) {
    for (t_ = 0; t_ < limit && !queue_.empty(); ++t_) {
      DeviceStep();
      HostStep();
    }
    const int ticks = t_;
    for (const int end = t_ + 100; t_ < end; ++t_) DeviceStep();
    return ticks;
  }
  // Commands the device never ran.
  int NeverRun() const {
    int n = 0;
    for (int i = 0; i < kCommands; ++i) n += executed_.count(i) == 0;
    return n;
  }
  int early() const { return early_; }

  bool WriteData(const uint8_t* bytes, uint16_t count) override {
    ++frames_;
    if (Chance()) return true;  // lost on the line
    to_device_at_ = std::max(to_device_at_, t_ + Draw(p_.max_wire));
    to_device_.push_back({to_device_at_, bytes[7]});
    (void)count;
    return true;
  }
  void RestartWatchdog() override {}
  void ShowWarning(const std::string&) override { ++warnings_; }

  void DispatchReply(const ReplyRecord& reply, uint8_t length) override {
    const int head = queue_.entry(0)[1];
    if (p_.tagged) {
      ASSERT_EQ(length, 2);
      EXPECT_EQ(reply[1], head) << "completed with another command's answer";
    } else if (executed_[head] == 0) {
      ++early_;  // the device has it, but has not run it yet
    }
    ++completed_;
  }

  int frames() const { return frames_; }
  int completed() const { return completed_; }
  int warnings() const { return warnings_; }
  static constexpr int kCommands = 60;

 private:
  struct Command {
    int at;
    int index;
  };

  int Draw(int max) {
    return max > 0 ? static_cast<int>(random_() % (max + 1)) : 0;
  }
  bool Chance() {
    return p_.lose_per_mille > 0 &&
           static_cast<int>(random_() % 1000) < p_.lose_per_mille;
  }
  void Emit(const Bytes& frame) {
    to_host_at_ = std::max(to_host_at_, t_ + Draw(p_.max_wire));
    to_host_.push_back({to_host_at_, frame});
    last_output_ = t_;
  }

  void DeviceStep() {
    if (busy_until_ > t_) return;
    std::vector<int> run;
    while (!to_device_.empty() && to_device_.front().at <= t_) {
      run.push_back(to_device_.front().index);
      to_device_.pop_front();
      if (!p_.batch) break;
    }
    if (run.empty()) {
      if (t_ >= last_output_ + p_.ack_period) Emit(Ack());
      return;
    }
    busy_until_ = t_ + 1;
    for (int index : run) {
      ++executed_[index];
      const Bytes reply =
          p_.tagged ? Bytes{0x0A, static_cast<uint8_t>(index)} : Bytes{0x0A};
      if (!Chance()) Emit(Frame(reply));
      if (!p_.batch) Emit(Ack());
    }
    if (p_.batch) {
      for (size_t i = 0; i < run.size(); ++i) Emit(Ack());
    }
  }

  void HostStep() {
    if (t_ < next_read_) return;
    next_read_ = t_ + 1 + Draw(p_.max_host_gap);
    Bytes chunk;
    while (!to_host_.empty() && to_host_.front().first <= t_) {
      chunk = Concat({chunk, to_host_.front().second});
      to_host_.pop_front();
    }
    if (!chunk.empty()) parser_.Comm321ReceiveData(chunk.data(), chunk.size());
  }

  Params p_;
  std::mt19937 random_;
  CommandQueue queue_{*this};
  ReceiveParser parser_{queue_, *this, *this};
  int t_ = 0;
  std::deque<Command> to_device_;
  int to_device_at_ = 0;
  std::deque<std::pair<int, Bytes>> to_host_;
  int to_host_at_ = 0;
  int busy_until_ = 0;
  int last_output_ = 0;
  int next_read_ = 0;
  std::map<int, int> executed_;
  int frames_ = 0;
  int completed_ = 0;
  int warnings_ = 0;
  int early_ = 0;
};

TEST(LineSimulationTest, EveryCommandCompletesWithItsOwnAnswer) {
  const LineSimulation::Params kSchedules[] = {
      // ack period, host gap, wire, batch, lost per mille, tagged
      {3, 8, 2, false, 0, true},   {1, 4, 3, false, 0, true},
      {2, 12, 1, true, 0, true},   {5, 2, 0, false, 0, true},
      {3, 8, 2, false, 20, true},  {2, 6, 3, true, 20, true},
      {3, 8, 2, false, 0, false},  {1, 10, 2, true, 0, false},
      {2, 6, 3, false, 20, false},
  };
  for (const auto& p : kSchedules) {
    for (uint32_t seed = 1; seed <= 40; ++seed) {
      SCOPED_TRACE(::testing::Message()
                   << "ack " << p.ack_period << " gap " << p.max_host_gap
                   << " wire " << p.max_wire << " batch " << p.batch << " lost "
                   << p.lose_per_mille << " tagged " << p.tagged << " seed "
                   << seed);
      LineSimulation sim(p, seed);
      const int ticks = sim.Run(200000);
      ASSERT_EQ(sim.completed(), LineSimulation::kCommands)
          << ticks << " ticks, " << sim.frames() << " frames, "
          << sim.warnings() << " warnings";
      ASSERT_EQ(sim.warnings(), 0);
      EXPECT_EQ(sim.NeverRun(), 0);
      EXPECT_EQ(sim.early(), 0) << "completed before the device ran it";
      if (::testing::Test::HasFailure()) return;
    }
  }
}

}  // namespace
}  // namespace taktm
