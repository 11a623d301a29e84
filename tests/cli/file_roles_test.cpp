// One file in two roles (counter, log, the command's file) is found by what
// the names reach, not by how they are spelt.
#include "cli/file_roles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "harness/temp_dir.h"

namespace taktm::testing {
namespace {

namespace fs = std::filesystem;

// Symbolic links need rights a Windows user may lack; the test is skipped
// there rather than failed.
bool MakeLink(const std::string& target, const std::string& link) {
  std::error_code error;
  fs::create_symlink(target, link, error);
  return !error;
}

CliOptions Options(const std::vector<std::string>& args) {
  const ParsedArgs parsed = ParseCliArgs(args);
  EXPECT_TRUE(parsed.options) << parsed.error;
  return parsed.options.value_or(CliOptions{});
}

TEST(FileRolesTest, NamesThatReachOneFile) {
  TempDir dir;
  std::ofstream(dir.File("fw.bin")) << "image";
  fs::create_hard_link(dir.File("fw.bin"), dir.File("hard"));
  if (!MakeLink("fw.bin", dir.File("soft")) ||
      !MakeLink("later.jsonl", dir.File("dangling"))) {
    GTEST_SKIP() << "symbolic links cannot be made here";
  }
  std::ofstream(dir.File("other.bin")) << "image";
  fs::create_directory(dir.File("sub"));
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
  if (!MakeLink("fw.bin", dir.File("fw-link"))) {
    GTEST_SKIP() << "symbolic links cannot be made here";
  }
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
