// takt-m-cli against devices that keep the device contract in their own
// way (played by takt-m-devsim): a write with verify and a read back, judged
// by the chip's memory file and the file the command line saved, not by its
// exit status alone.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "harness/cli_process.h"
#include "harness/devsim_process.h"
#include "harness/temp_dir.h"

namespace taktm::testing {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes bytes(n);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

struct Variety {
  const char* name;
  std::vector<std::string> options;
};

void PrintTo(const Variety& v, std::ostream* out) {
  for (const std::string& o : v.options) *out << o << ' ';
}

class DeviceVarietyCliTest : public ::testing::TestWithParam<Variety> {
 protected:
  std::string File(const std::string& name) const { return dir_.File(name); }
  TempDir dir_;
};

TEST_P(DeviceVarietyCliTest, WriteVerifyAndReadBackHoldTheImage) {
  ASSERT_EQ(::mkdir(File("mem").c_str(), 0700), 0);
  WriteBytes(File("mem/DEMO-1K.flash"), RandomBytes(1000, 41));
  std::vector<std::string> options = GetParam().options;
  options.insert(options.end(),
                 {"--memory-dir", File("mem"), "--log", File("frames.log")});
  DevsimProcess devsim(options);
  ASSERT_FALSE(devsim.port().empty()) << "takt-m-devsim did not start";

  const Bytes image = RandomBytes(1000, 42);
  WriteBytes(File("image.bin"), image);
  const CliResult write =
      RunCliProcess({"--port", devsim.port(), "--chip", "DEMO-1K",
                     "write-flash", File("image.bin")},
                    File("cfg"));
  EXPECT_EQ(write.status, 0) << write.err;
  EXPECT_TRUE(ReadBytes(File("mem/DEMO-1K.flash")) == image)
      << "the chip does not hold the image";

  const CliResult read =
      RunCliProcess({"--port", devsim.port(), "--chip", "DEMO-1K", "read-flash",
                     File("read.bin")},
                    File("cfg"));
  EXPECT_EQ(read.status, 0) << read.err;
  EXPECT_TRUE(ReadBytes(File("read.bin")) == image)
      << "the file saved is not what the chip holds";
}

// The suite's cells, and with TAKT_DEVICE_SWEEP set (scripts/device-sweep)
// a device idling at the limit of the allowed pace.
std::vector<Variety> Varieties() {
  std::vector<Variety> cells = {
      {"AcksOnlyWhenIdle",
       {"--withhold-ack", "1", "--ack-jitter", "--ack-ms", "25"}},
      {"TrickledPaddedOutput",
       {"--split-bytes", "3", "--split-gap-ms", "1", "--pad-replies", "20",
        "--ack-ms", "50"}},
      {"SmallReadReplies", {"--max-read", "64", "--ack-ms", "50"}}};
  if (std::getenv("TAKT_DEVICE_SWEEP") != nullptr) {
    cells.push_back({"SlowestIdlePace", {"--ack-ms", "4900"}});
  }
  return cells;
}

INSTANTIATE_TEST_SUITE_P(Devices, DeviceVarietyCliTest,
                         ::testing::ValuesIn(Varieties()),
                         [](const ::testing::TestParamInfo<Variety>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace taktm::testing
