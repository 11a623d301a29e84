#include "link/command_queue.h"

#include <gtest/gtest.h>

#include "support/fake_link_host.h"

namespace taktm {
namespace {

using testing::Bytes;
using testing::FakeLinkHost;
using testing::Frame;

class CommandQueueTest : public ::testing::Test {
 protected:
  FakeLinkHost host_;
  CommandQueue queue_{host_};
};

TEST_F(CommandQueueTest, WindowShowsFromTheSecondEntryOnly) {
  queue_.EnqueueCommand({0xFF});
  EXPECT_FALSE(queue_.progress().visible);
  EXPECT_EQ(queue_.progress().maximum, 1);
  queue_.EnqueueCommand({0xFE});
  EXPECT_TRUE(queue_.progress().visible);
  EXPECT_EQ(queue_.progress().maximum, 2);
  EXPECT_EQ(queue_.progress().position, 2);
}

TEST_F(CommandQueueTest, ZeroLengthCommandChangesNothing) {
  uint8_t none = 0;
  queue_.EnqueueCommand(&none, 0);
  EXPECT_TRUE(queue_.empty());
  EXPECT_EQ(host_.progress_changes, 0);
}

TEST_F(CommandQueueTest, CommandLongerThanAFrameIsRefusedWhole) {
  Bytes longest(kMaxPayload, 0x0A);
  Bytes too_long(kMaxPayload + 1, 0x0A);
  EXPECT_FALSE(queue_.EnqueueCommand(too_long.data(), too_long.size()));
  EXPECT_TRUE(queue_.empty());
  EXPECT_EQ(host_.progress_changes, 0);
  // A length that would wrap a 16-bit count is refused too, not cut to 1.
  Bytes wraps(0x10001, 0x0A);
  EXPECT_FALSE(queue_.EnqueueCommand(wraps.data(), wraps.size()));
  EXPECT_TRUE(queue_.empty());
  ASSERT_TRUE(queue_.EnqueueCommand(longest.data(), longest.size()));
  EXPECT_EQ(queue_.entry(0), longest);
}

TEST_F(CommandQueueTest, EntriesOwnACopyOfTheirBytes) {
  uint8_t bytes[] = {0x09, 0xC0, 0x01, 0x00, 0x00, 0xE0};
  queue_.EnqueueCommand(bytes, sizeof bytes);
  bytes[1] = 0;
  EXPECT_EQ(queue_.entry(0), (Bytes{0x09, 0xC0, 0x01, 0x00, 0x00, 0xE0}));
}

TEST_F(CommandQueueTest, DrainingRunsTheBarDownAndHidesAtZero) {
  for (int i = 0; i < 3; ++i) queue_.EnqueueCommand({0x01});
  queue_.RemoveHead();
  queue_.RemoveHead();
  EXPECT_TRUE(queue_.progress().visible);  // one left: still shown
  EXPECT_EQ(queue_.progress().position, 1);
  EXPECT_EQ(queue_.progress().maximum, 3);
  queue_.RemoveHead();
  EXPECT_FALSE(queue_.progress().visible);
  EXPECT_EQ(queue_.progress().position, 0);
  EXPECT_EQ(queue_.progress().maximum, 3);
  queue_.RemoveHead();  // empty: nothing happens
  EXPECT_TRUE(queue_.empty());
}

TEST_F(CommandQueueTest, EmptyQueueSendsNothingAndKeepsTheCounter) {
  queue_.SendHead();
  EXPECT_TRUE(host_.writes.empty());
  EXPECT_EQ(queue_.UnansweredSends(), 0);
}

TEST_F(CommandQueueTest, EighthUnansweredSendClearsTheQueueWithOneWarning) {
  queue_.EnqueueCommand({0x0B, 0x01});
  queue_.EnqueueCommand({0xFF});
  for (int i = 0; i < 8; ++i) queue_.SendHead();
  ASSERT_EQ(host_.writes.size(), 8u);
  for (const Bytes& w : host_.writes) EXPECT_EQ(w, Frame({0x0B, 0x01}));
  EXPECT_TRUE(queue_.empty());
  EXPECT_EQ(queue_.UnansweredSends(), 0);
  EXPECT_FALSE(queue_.progress().visible);
  ASSERT_EQ(host_.warnings.size(), 1u);
  EXPECT_EQ(host_.warnings[0],
            "Не могу выполнить команду!\n\rОчередь команд очищена.");
}

TEST_F(CommandQueueTest, LimitComesEarlyAfterAClearForAnotherReason) {
  queue_.EnqueueCommand({0xFE});
  for (int i = 0; i < 5; ++i) queue_.SendHead();
  queue_.ClearQueue();  // as the watchdog does
  EXPECT_EQ(queue_.UnansweredSends(), 5);
  queue_.EnqueueCommand({0xFE});
  queue_.SendHead();
  queue_.SendHead();
  EXPECT_TRUE(host_.warnings.empty());
  queue_.SendHead();
  EXPECT_EQ(host_.warnings.size(), 1u);
  EXPECT_TRUE(queue_.empty());
}

}  // namespace
}  // namespace taktm
