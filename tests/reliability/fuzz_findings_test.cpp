// Findings of the libFuzzer targets, kept as regression tests.
#include <gtest/gtest.h>

#include "link/command_queue.h"
#include "link/receive_parser.h"
#include "support/fake_link_host.h"

namespace taktm::testing {
namespace {

// Found by app_core_fuzz: an empty chunk given as a null pointer reached
// memcpy, which is undefined even for 0 bytes. It stores nothing.
TEST(FuzzFindingsTest, EmptyChunkWithoutBufferChangesNothing) {
  FakeLinkHost host;
  CommandQueue queue(host);
  RecordingReplyHandler handler;
  ReceiveParser parser(queue, host, handler);
  const Bytes partial = {0xD1, 0xE0, 0xEB};
  parser.Comm321ReceiveData(partial.data(), partial.size());
  parser.Comm321ReceiveData(nullptr, 0);
  EXPECT_EQ(parser.fill_count(), 3);
  EXPECT_EQ(parser.scan_position(), 0);
  EXPECT_TRUE(host.writes.empty());
}

}  // namespace
}  // namespace taktm::testing
