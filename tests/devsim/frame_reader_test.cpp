#include "frame_reader.h"

#include <gtest/gtest.h>

#include "support/fake_link_host.h"

namespace taktm::devsim {
namespace {

using taktm::testing::Bytes;
using taktm::testing::Concat;
using taktm::testing::Frame;

std::vector<Bytes> Payloads(const std::vector<ReceivedFrame>& frames,
                            bool sum_ok = true) {
  std::vector<Bytes> out;
  for (const ReceivedFrame& f : frames) {
    if (f.sum_ok == sum_ok) out.push_back(f.payload);
  }
  return out;
}

TEST(FrameReaderTest, FramesSplitAtAnyByteAreFoundOnceComplete) {
  const Bytes stream = Concat({Frame({0xF9, 0x02}), Frame({0xFF})});
  for (size_t cut = 0; cut <= stream.size(); ++cut) {
    FrameReader reader;
    std::vector<Bytes> got = Payloads(reader.Feed(stream.data(), cut));
    for (const Bytes& p :
         Payloads(reader.Feed(stream.data() + cut, stream.size() - cut))) {
      got.push_back(p);
    }
    EXPECT_EQ(got, (std::vector<Bytes>{{0xF9, 0x02}, {0xFF}})) << "cut " << cut;
    EXPECT_EQ(reader.held(), 0u);
  }
}

TEST(FrameReaderTest, NoiseAndBrokenHeadersArePassedOver) {
  Bytes bad_header = Frame({0xFE});
  bad_header[5] ^= 1;
  const Bytes stream = Concat({{0x00, 0xD1, 0xE0, 0x13},
                               bad_header,
                               Frame({0xFD}),
                               {0xEB, 0xEE},
                               Frame({})});
  FrameReader reader;
  const auto frames = reader.Feed(stream.data(), stream.size());
  // The empty frame (never sent by the program) is consumed silently.
  EXPECT_EQ(Payloads(frames), (std::vector<Bytes>{{0xFD}}));
  EXPECT_TRUE(Payloads(frames, false).empty());
}

TEST(FrameReaderTest, BadPayloadSumIsReportedAndTheNextFrameStillFound) {
  Bytes bad = Frame({0x0A, 0, 0, 0, 0, 1, 0x55});
  bad.back() ^= 0xFF;
  const Bytes stream = Concat({bad, Frame({0xFF})});
  FrameReader reader;
  const auto frames = reader.Feed(stream.data(), stream.size());
  EXPECT_EQ(Payloads(frames, false),
            (std::vector<Bytes>{{0x0A, 0, 0, 0, 0, 1, 0x55}}));
  EXPECT_EQ(Payloads(frames), (std::vector<Bytes>{{0xFF}}));
}

TEST(FrameReaderTest, HoldsAtMostOneIncompleteFrame) {
  FrameReader reader;
  const Bytes garbage(1000, 0x42);
  reader.Feed(garbage.data(), garbage.size());
  EXPECT_LE(reader.held(), 5u);
  const Bytes big = Frame(Bytes(255, 0x01));
  reader.Feed(big.data(), big.size() - 1);
  EXPECT_EQ(reader.held(), big.size() - 1);
  EXPECT_EQ(Payloads(reader.Feed(&big.back(), 1)).size(), 1u);
}

}  // namespace
}  // namespace taktm::devsim
