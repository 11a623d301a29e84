// takt-m-cli against devices whose replies come twice or stand for a
// command they never ran: the chip list and the bits reported must be the
// chip's, or the run must fail.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "harness/cli_process.h"
#include "harness/devsim_process.h"
#include "harness/temp_dir.h"

namespace taktm::testing {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr char kChips[] = "0\tDEMO-1K\n1\tDEMO-4K\n2\tDEMO-8K\n3\tDEMO-128K\n";

class CliLinkFaultsTest : public ::testing::TestWithParam<const char*> {
 protected:
  std::string File(const std::string& name) const { return dir_.File(name); }
  TempDir dir_;
};

// A device that acknowledges on receipt and answers every 2nd, 3rd or 5th
// command twice: the early acknowledgement must not send the chip-name
// command again, or the doubled answer to one send would fill the next row.
TEST_P(CliLinkFaultsTest, ChipListIsRightUnderDoubledRepliesAndEarlyAcks) {
  DevsimProcess devsim({"--double-reply-every", GetParam(), "--ack-on-receipt",
                        "--ack-ms", "20", "--log", File("frames.log")});
  ASSERT_FALSE(devsim.port().empty()) << "takt-m-devsim did not start";
  for (int run = 0; run < 3; ++run) {
    const CliResult chips =
        RunCliProcess({"--port", devsim.port(), "chips"}, File("cfg"));
    EXPECT_EQ(chips.status, 0) << chips.err;
    EXPECT_EQ(chips.out, kChips) << "run " << run;
  }
}

INSTANTIATE_TEST_SUITE_P(Every, CliLinkFaultsTest,
                         ::testing::Values("2", "3", "5"));

// The second fuse write is lost on the line and the device repeats the
// first one's reply: the write alone looks complete, the read back shows
// the chip's bits and the run fails with the verify status.
TEST(CliBitReadBackTest, FuseWriteTheDeviceDroppedExitsWithFive) {
  TempDir dir;
  ASSERT_EQ(::mkdir(dir.File("mem").c_str(), 0700), 0);
  DevsimProcess devsim({"--lose-command", "04", "--ack-ms", "20",
                        "--memory-dir", dir.File("mem")});
  ASSERT_FALSE(devsim.port().empty()) << "takt-m-devsim did not start";
  const CliResult write =
      RunCliProcess({"--port", devsim.port(), "--chip", "DEMO-8K", "--json",
                     "write-fuses", "CLK1, WDT"},
                    dir.File("cfg"));
  EXPECT_EQ(write.status, 5) << write.err;
  // What is reported is what the chip holds, not what was asked.
  const Bytes fuses = ReadBytes(dir.File("mem/DEMO-8K.fuses"));
  ASSERT_EQ(fuses.size(), 6u);
  EXPECT_NE(write.out.find(std::string("\"name\":\"CLK1\",\"ticked\":") +
                           (fuses[1] ? "true" : "false")),
            std::string::npos)
      << write.out;
}

// A healthy device: the bits read back equal those asked for.
TEST(CliBitReadBackTest, FuseWriteReadsTheBitsBack) {
  TempDir dir;
  ASSERT_EQ(::mkdir(dir.File("mem").c_str(), 0700), 0);
  DevsimProcess devsim({"--ack-ms", "20", "--memory-dir", dir.File("mem"),
                        "--log", dir.File("frames.log")});
  ASSERT_FALSE(devsim.port().empty()) << "takt-m-devsim did not start";
  const CliResult write = RunCliProcess({"--port", devsim.port(), "--chip",
                                         "DEMO-8K", "write-fuses", "CLK1, WDT"},
                                        dir.File("cfg"));
  EXPECT_EQ(write.status, 0) << write.err;
  EXPECT_EQ(write.out,
            "0\tCLK0\t0\n1\tCLK1\t1\n2\tBOOT\t0\n3\tWDT\t1\n"
            "4\tСохранять EEPROM\t0\n5\tСброс по питанию\t0\n");
  EXPECT_NE(ReadText(dir.File("frames.log")).find("RX 03"), std::string::npos);
}

}  // namespace
}  // namespace taktm::testing
