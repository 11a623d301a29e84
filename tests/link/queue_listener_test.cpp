// What the command queue tells its listeners: every change, in order, with
// the entry and its tag, so that those who follow the queue keep no books
// of their own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/command_queue.h"
#include "support/fake_link_host.h"

namespace taktm {
namespace {

using testing::Bytes;
using testing::FakeLinkHost;
using testing::Frame;

const char* TagName(CommandTag tag) {
  switch (tag) {
    case CommandTag::kPlain:
      return "plain";
    case CommandTag::kVerifyEnd:
      return "verify-end";
    case CommandTag::kReadRest:
      return "read-rest";
    case CommandTag::kSerial:
      return "serial";
    case CommandTag::kReadBack:
      return "read-back";
  }
  return "?";
}

// "event opcode tag", one line per event.
class Recorder : public QueueListener {
 public:
  void Appended(const QueueEntry& e) override { Add("appended", e); }
  void InsertedAfterHead(const QueueEntry& e) override { Add("inserted", e); }
  void BeforeSend(CommandQueue& queue) override {
    events.push_back("before " + std::to_string(queue.HeadOpcode()));
    if (on_before_send) on_before_send(queue);
  }
  void Sent(const QueueEntry& e, int head_sends) override {
    Add("sent#" + std::to_string(head_sends), e);
  }
  void Removed(const QueueEntry& e, bool answered) override {
    Add(answered ? "answered" : "dropped", e);
    if (on_removed) on_removed(e, answered);
  }

  std::vector<std::string> events;
  std::function<void(CommandQueue&)> on_before_send;
  std::function<void(const QueueEntry&, bool)> on_removed;

 private:
  void Add(const std::string& what, const QueueEntry& e) {
    events.push_back(what + " " + std::to_string(e.bytes.at(0)) + " " +
                     TagName(e.tag));
  }
};

class QueueListenerTest : public ::testing::Test {
 protected:
  void SetUp() override { queue_.AddListener(&recorder_); }
  void TearDown() override { queue_.RemoveListener(&recorder_); }

  FakeLinkHost host_;
  CommandQueue queue_{host_};
  Recorder recorder_;
};

// A read answered in part before the SVC_END that closes a verify run: the
// rest goes in behind the head with its tag, and the SVC_END keeps its own
// wherever it moves.
TEST_F(QueueListenerTest, EventsComeInOrderWithTheirTags) {
  const uint8_t read[] = {9, 0, 0, 0, 0, 8};
  const uint8_t end[] = {0xF0};
  queue_.EnqueueCommand(read, sizeof read);
  queue_.EnqueueCommand(end, sizeof end, CommandTag::kVerifyEnd);
  queue_.SendHead();
  queue_.SendHead();
  queue_.InsertAfterHead({9, 4, 0, 0, 0, 4}, CommandTag::kReadRest);
  queue_.RemoveHead();
  EXPECT_EQ(queue_.tag(0), CommandTag::kReadRest);
  EXPECT_EQ(queue_.tag(1), CommandTag::kVerifyEnd);
  queue_.SendHead();
  queue_.RemoveHead();
  queue_.SendHead();
  queue_.RemoveHead();
  EXPECT_EQ(recorder_.events,
            (std::vector<std::string>{
                "appended 9 plain", "appended 240 verify-end", "before 9",
                "sent#1 9 plain", "before 9", "sent#2 9 plain",
                "inserted 9 read-rest", "answered 9 plain", "before 9",
                "sent#1 9 read-rest", "answered 9 read-rest", "before 240",
                "sent#1 240 verify-end", "answered 240 verify-end"}));
}

// Every entry a clear drops is told, head first, as not answered; the
// retry limit's clear comes after its eighth send was told.
TEST_F(QueueListenerTest, ClearTellsEachEntryDroppedHeadFirst) {
  queue_.EnqueueCommand({1});
  queue_.EnqueueCommand({2});
  queue_.EnqueueCommand({3});
  recorder_.events.clear();
  queue_.ClearQueue();
  EXPECT_EQ(recorder_.events,
            (std::vector<std::string>{"dropped 1 plain", "dropped 2 plain",
                                      "dropped 3 plain"}));
  queue_.ClearQueue();  // empty: nothing to tell
  EXPECT_EQ(recorder_.events.size(), 3u);

  queue_.EnqueueCommand({5});
  queue_.EnqueueCommand({6});
  for (int i = 0; i < kSendLimit; ++i) queue_.SendHead();
  const std::vector<std::string> tail(recorder_.events.end() - 3,
                                      recorder_.events.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"sent#8 5 plain", "dropped 5 plain",
                                            "dropped 6 plain"}));
}

TEST_F(QueueListenerTest, InsertAfterHeadOnAnEmptyQueueMakesTheHead) {
  queue_.InsertAfterHead({9, 0, 1, 0, 0, 16}, CommandTag::kReadRest);
  ASSERT_EQ(queue_.count(), 1u);
  EXPECT_EQ(queue_.entry(0), (Bytes{9, 0, 1, 0, 0, 16}));
  EXPECT_EQ(queue_.tag(0), CommandTag::kReadRest);
  EXPECT_EQ(recorder_.events,
            (std::vector<std::string>{"inserted 9 read-rest"}));
  queue_.SendHead();
  EXPECT_EQ(host_.writes.back(), Frame({9, 0, 1, 0, 0, 16}));
}

// Before a send the head may get new bytes (the frame carries them) or the
// queue may be cleared (nothing goes out and no send is counted).
TEST_F(QueueListenerTest, BeforeSendMayRestampTheHeadOrClearTheQueue) {
  queue_.EnqueueCommand({4, 0, 0, 0, 0, 1, 0x00});
  recorder_.on_before_send = [](CommandQueue& q) {
    q.ReplaceEntry(0, {4, 0, 0, 0, 0, 1, 0x2A}, CommandTag::kSerial);
  };
  queue_.SendHead();
  ASSERT_EQ(host_.writes.size(), 1u);
  EXPECT_EQ(host_.writes[0], Frame({4, 0, 0, 0, 0, 1, 0x2A}));
  EXPECT_EQ(recorder_.events.back(), "sent#1 4 serial");

  queue_.ReplaceEntry(0, {4, 0}, CommandTag::kPlain);  // another length
  EXPECT_EQ(queue_.entry(0).size(), 7u);

  recorder_.on_before_send = [](CommandQueue& q) { q.ClearQueue(); };
  const int unanswered = queue_.UnansweredSends();
  queue_.SendHead();
  EXPECT_EQ(host_.writes.size(), 1u);
  EXPECT_TRUE(queue_.empty());
  EXPECT_EQ(queue_.UnansweredSends(), unanswered);
  EXPECT_EQ(recorder_.events.back(), "dropped 4 serial");
}

// A listener may queue the next step's commands as the last answered one
// leaves; the others hear of the removal first-come, then of the append.
// One removed during an event hears nothing more.
TEST_F(QueueListenerTest, ListenersMayChangeTheQueueAndTheListInsideAnEvent) {
  Recorder second;
  queue_.AddListener(&second);
  queue_.AddListener(&second);  // once only
  recorder_.on_removed = [&](const QueueEntry&, bool answered) {
    if (answered && queue_.empty()) queue_.EnqueueCommand({7});
  };
  queue_.EnqueueCommand({1});
  queue_.SendHead();
  queue_.RemoveHead();
  ASSERT_EQ(queue_.count(), 1u);
  EXPECT_EQ(queue_.entry(0), (Bytes{7}));
  EXPECT_EQ(second.events, (std::vector<std::string>{
                               "appended 1 plain", "before 1", "sent#1 1 plain",
                               "appended 7 plain", "answered 1 plain"}));

  recorder_.on_removed = [&](const QueueEntry&, bool) {
    queue_.RemoveListener(&second);
  };
  second.events.clear();
  queue_.ClearQueue();
  EXPECT_TRUE(second.events.empty());
  queue_.EnqueueCommand({8});
  EXPECT_TRUE(second.events.empty());
}

}  // namespace
}  // namespace taktm
