// One file in two roles (counter, log, the command's file) is found by what
// the names reach, not by how they are spelt.
#include "cli/file_roles.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "harness/temp_dir.h"

namespace taktm::testing {
namespace {

CliOptions Options(const std::vector<std::string>& args) {
  const ParsedArgs parsed = ParseCliArgs(args);
  EXPECT_TRUE(parsed.options) << parsed.error;
  return parsed.options.value_or(CliOptions{});
}

TEST(FileRolesTest, NamesThatReachOneFile) {
  TempDir dir;
  std::ofstream(dir.File("fw.bin")) << "image";
  ASSERT_EQ(::link(dir.File("fw.bin").c_str(), dir.File("hard").c_str()), 0);
  ASSERT_EQ(::symlink("fw.bin", dir.File("soft").c_str()), 0);
  ASSERT_EQ(::symlink("later.jsonl", dir.File("dangling").c_str()), 0);
  std::ofstream(dir.File("other.bin")) << "image";
  ASSERT_EQ(::mkdir(dir.File("sub").c_str(), 0700), 0);
  EXPECT_TRUE(SameFile(dir.File("fw.bin"), dir.File("hard")));
  EXPECT_TRUE(SameFile(dir.File("soft"), dir.File("hard")));
  EXPECT_TRUE(SameFile(dir.File("./fw.bin"), dir.File("sub/../fw.bin")));
  EXPECT_FALSE(SameFile(dir.File("fw.bin"), dir.File("other.bin")));
  // Files still to be made: by the place they would take.
  EXPECT_TRUE(SameFile(dir.File("new.jsonl"), dir.File("sub/../new.jsonl")));
  EXPECT_FALSE(SameFile(dir.File("new.jsonl"), dir.File("new2.jsonl")));
  EXPECT_FALSE(SameFile(dir.File("new.jsonl"), dir.File("fw.bin")));
}

TEST(FileRolesTest, EachRoleNeedsAFileOfItsOwn) {
  TempDir dir;
  std::ofstream(dir.File("c.txt")) << "1000\n";
  std::ofstream(dir.File("fw.bin")) << "image";
  ASSERT_EQ(::symlink("fw.bin", dir.File("fw-link").c_str()), 0);
  const std::string c = dir.File("c.txt");
  const std::string fw = dir.File("fw.bin");
  EXPECT_EQ(SharedFileError(Options(
                {"--serial", "0x1FFC:" + c, "--log", c, "write-flash", fw})),
            "Один файл в двух ролях: \"" + c +
                "\" — счётчик номеров (--serial) и журнал (--log)");
  EXPECT_EQ(SharedFileError(
                Options({"--log", dir.File("fw-link"), "write-flash", fw})),
            "Один файл в двух ролях: \"" + fw +
                "\" — журнал (--log) и образ команды write-flash");
  EXPECT_EQ(SharedFileError(Options(
                {"--serial", "0:" + fw, "write-flash", dir.File("fw-link")})),
            "Один файл в двух ролях: \"" + dir.File("fw-link") +
                "\" — счётчик номеров (--serial) и образ команды write-flash");
  // A read's output is not there yet.
  EXPECT_EQ(SharedFileError(Options({"--log", dir.File("dump.bin"),
                                     "read-flash", dir.File("./dump.bin")})),
            "Один файл в двух ролях: \"" + dir.File("./dump.bin") +
                "\" — журнал (--log) и файл команды read-flash");
  EXPECT_EQ(
      SharedFileError(Options({"--serial", "0:" + c, "--log",
                               dir.File("log.jsonl"), "write-flash", fw})),
      "");
}

}  // namespace
}  // namespace taktm::testing
