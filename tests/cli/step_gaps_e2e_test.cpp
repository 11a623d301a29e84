// The steps of one run (discovery, chip selection, the operation) follow
// each other on the acknowledgement right behind the last reply of the step
// before, against a device that idles for a long time between its own
// acknowledgements: none of the device's idle acknowledgements falls
// between the run's first command and its last.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "harness/cli_process.h"
#include "harness/devsim_process.h"
#include "harness/temp_dir.h"

namespace taktm::testing {
namespace {

// The frame log's lines from the first command received to the last.
std::vector<std::string> RunSpan(const std::vector<std::string>& lines) {
  size_t first = lines.size();
  size_t last = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].rfind("RX ", 0) != 0) continue;
    if (first == lines.size()) first = i;
    last = i;
  }
  if (first == lines.size()) return {};
  return {lines.begin() + static_cast<ptrdiff_t>(first),
          lines.begin() + static_cast<ptrdiff_t>(last) + 1};
}

// Acknowledgements with no reply right before them: the device's idle ones.
int IdleAcks(const std::vector<std::string>& span) {
  int idle = 0;
  for (size_t i = 0; i < span.size(); ++i) {
    if (span[i] != "TX ACK") continue;
    const bool after_reply =
        i > 0 && span[i - 1].rfind("TX ", 0) == 0 && span[i - 1] != "TX ACK";
    if (!after_reply) ++idle;
  }
  return idle;
}

TEST(StepGapsE2eTest, NextStepGoesOutBehindTheLastReply) {
  TempDir dir;
  // 4.9 s between idle acknowledgements: one of them per step boundary
  // would make the read take three or more of those periods.
  const DevsimProcess devsim(
      {"--log", dir.File("frames.log"), "--log-acks", "--ack-ms", "4900"});
  ASSERT_FALSE(devsim.port().empty()) << "takt-m-devsim did not start";
  const CliResult read =
      RunCliProcess({"--port", devsim.port(), "--chip", "DEMO-1K", "--quiet",
                     "read-flash", dir.File("read.bin")},
                    dir.File("cfg"));
  ASSERT_EQ(read.status, 0) << read.err;

  const std::vector<std::string> span =
      RunSpan(ReadLines(dir.File("frames.log")));
  ASSERT_FALSE(span.empty());
  // Every step was there, in its order.
  auto position = [&](const std::string& prefix) {
    for (size_t i = 0; i < span.size(); ++i) {
      if (span[i].rfind(prefix, 0) == 0) return static_cast<int>(i);
    }
    return -1;
  };
  const int name = position("RX FE");         // discovery: the name
  const int select = position("RX F9 00");    // selection of chip 0
  const int read_flash = position("RX 09 ");  // the first chunk read
  ASSERT_GE(name, 0);
  ASSERT_GT(select, name);
  ASSERT_GT(read_flash, select);
  EXPECT_EQ(IdleAcks(span), 0) << "idle periods waited between steps";
}

}  // namespace
}  // namespace taktm::testing
