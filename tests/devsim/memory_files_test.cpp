#include "memory_files.h"

#include <gtest/gtest.h>

#include <fstream>

#include "harness/temp_dir.h"

namespace taktm::devsim {
namespace {

using taktm::testing::ReadBytes;
using taktm::testing::TempDir;
using Bytes = std::vector<uint8_t>;

Bytes Send(DeviceModel& model, const Bytes& command) {
  return model.HandleCommand(command.data(), command.size());
}

TEST(MemoryFilesTest, FilesFollowEveryChangeAndSurviveARestart) {
  TempDir dir;
  {
    DeviceModel model(BuiltInCatalogue(), {});
    MemoryFiles files(dir.File("mem"), model);
    std::string error;
    ASSERT_TRUE(files.Open(error)) << error;
    model.set_observer(&files);
    EXPECT_EQ(ReadBytes(dir.File("mem/DEMO-128K.flash")), Bytes(131072, 0xFF));
    EXPECT_EQ(ReadBytes(dir.File("mem/DEMO-1K.fuses")), Bytes{});
    EXPECT_EQ(ReadBytes(dir.File("mem/DEMO-8K.fuses")),
              (Bytes{1, 0, 0, 1, 0, 1}));

    Send(model, {0xF9, 2});
    Send(model, {0x0A, 0x02, 0, 0, 0, 2, 0x12, 0x34});
    Send(model, {0x0E, 0xFF, 1, 0, 0, 1, 0x56});
    Send(model, {0x06, 1});
    const Bytes flash = ReadBytes(dir.File("mem/DEMO-8K.flash"));
    ASSERT_EQ(flash.size(), 8192u);
    EXPECT_EQ(flash[2], 0x12);
    EXPECT_EQ(flash[3], 0x34);
    EXPECT_EQ(ReadBytes(dir.File("mem/DEMO-8K.eeprom"))[511], 0x56);
    EXPECT_EQ(ReadBytes(dir.File("mem/DEMO-8K.locks")), (Bytes{0, 1}));
    EXPECT_TRUE(files.ok());
  }
  // A short file fills the start of its memory; bits read as 0 or 1.
  std::ofstream(dir.File("mem/DEMO-1K.flash"), std::ios::binary) << "AB";
  std::ofstream(dir.File("mem/DEMO-8K.fuses"), std::ios::binary) << "\x07\x07";
  DeviceModel model(BuiltInCatalogue(), {});
  MemoryFiles files(dir.File("mem"), model);
  std::string error;
  ASSERT_TRUE(files.Open(error)) << error;
  EXPECT_EQ(model.chip_state(2).flash[3], 0x34);
  EXPECT_EQ(model.chip_state(2).locks, (Bytes{0, 1}));
  EXPECT_EQ(model.chip_state(2).fuses, (Bytes{1, 1, 0, 1, 0, 1}));
  EXPECT_EQ(model.chip_state(0).flash[1], 'B');
  EXPECT_EQ(model.chip_state(0).flash[2], 0xFF);
  EXPECT_EQ(ReadBytes(dir.File("mem/DEMO-1K.flash")).size(), 1000u);
}

TEST(MemoryFilesTest, UnusableFolderIsReported) {
  DeviceModel model(BuiltInCatalogue(), {});
  MemoryFiles files("/proc/devsim-cannot-be-here", model);
  std::string error;
  EXPECT_FALSE(files.Open(error));
  EXPECT_NE(error.find("/proc/devsim-cannot-be-here"), std::string::npos);
}

}  // namespace
}  // namespace taktm::devsim
