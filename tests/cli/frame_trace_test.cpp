// The frame trace: received chunks cut into frames whatever the chunks'
// edges, noise marked, sent frames as they went, ports named when several.
#include "cli/frame_trace.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/fake_link_host.h"

namespace taktm::testing {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    // Without the time, which is checked once below.
    lines.push_back(line.substr(line.find_first_not_of(' ')));
  }
  return lines;
}

TEST(FrameTraceTest, ChunksAreCutIntoFramesAndNoiseIsMarked) {
  FrameTrace trace;
  Bytes stream = {0x00, 0x13};  // noise first
  const Bytes ack = Frame({});
  const Bytes reply = Frame({0xFE, 2, 'O', 'K'});
  stream.insert(stream.end(), ack.begin(), ack.end());
  stream.insert(stream.end(), reply.begin(), reply.end());
  stream.push_back(0xD1);  // a preamble's first bytes, then noise
  stream.push_back(0xE0);
  stream.push_back(0x55);
  stream.insert(stream.end(), ack.begin(), ack.end());
  // Fed one byte at a time: the frames come out whole all the same.
  for (size_t i = 0; i < stream.size(); ++i) {
    trace.Received("", static_cast<int64_t>(1000 * i + 5), &stream[i], 1);
  }
  const Bytes command = Frame({0xFE});
  trace.Sent("", 123456, command.data(), command.size());
  const uint8_t cut[] = {0xD1, 0xE0, 0xEB, 0xEE, 0x05};  // never finished
  trace.Received("", 200000, cut, sizeof cut);
  const std::vector<std::string> lines = Lines(trace.Text());
  ASSERT_EQ(lines.size(), 8u) << trace.Text();
  EXPECT_EQ(lines[0], "0.005 RX ?? 00");
  EXPECT_EQ(lines[1], "1.005 RX ?? 13");  // one byte at a time
  EXPECT_EQ(lines[2], "8.005 RX D1 E0 EB EE 00 8A 00");
  EXPECT_EQ(lines[3].substr(lines[3].find("RX")),
            "RX D1 E0 EB EE 04 8E FE 02 4F 4B 9A");
  EXPECT_EQ(lines[4].substr(lines[4].find("RX")), "RX ?? D1 E0 55");
  EXPECT_EQ(lines[5].substr(lines[5].find("RX")), "RX D1 E0 EB EE 00 8A 00");
  EXPECT_EQ(lines[6], "123.456 TX D1 E0 EB EE 01 8B FE FE");
  EXPECT_EQ(lines[7], "200.000 RX ?? D1 E0 EB EE 05");
}

TEST(FrameTraceTest, SeveralPortsAreNamedAndKeptApart) {
  FrameTrace trace;
  const Bytes ack = Frame({});
  // Each port's half frame is completed by its own next chunk.
  trace.Received("/dev/a", 1000, ack.data(), 3);
  trace.Received("/dev/b", 2000, ack.data(), 4);
  trace.Received("/dev/a", 3000, ack.data() + 3, ack.size() - 3);
  trace.Received("/dev/b", 4000, ack.data() + 4, ack.size() - 4);
  const std::vector<std::string> lines = Lines(trace.Text());
  ASSERT_EQ(lines.size(), 2u) << trace.Text();
  EXPECT_EQ(lines[0], "3.000 /dev/a RX D1 E0 EB EE 00 8A 00");
  EXPECT_EQ(lines[1], "4.000 /dev/b RX D1 E0 EB EE 00 8A 00");
}

}  // namespace
}  // namespace taktm::testing
