// --format, --offset, --defaults and "-" on the command line.
#include "cli/file_options.h"

#include <gtest/gtest.h>

#include "cli/cli_args.h"

namespace taktm {
namespace {

ParsedArgs P(const std::vector<std::string>& args) {
  return ParseCliArgs(args);
}

TEST(FileOptionsTest, FormatOffsetAndDefaults) {
  const ParsedArgs plain = P({"write-flash", "fw.bin"});
  ASSERT_TRUE(plain.options);
  EXPECT_FALSE(plain.options->format);  // auto
  EXPECT_EQ(plain.options->offset, 0u);
  EXPECT_FALSE(plain.options->defaults);

  const ParsedArgs given = P({"--format", "raw", "--offset=0x1F00",
                              "--defaults", "verify-flash", "-"});
  ASSERT_TRUE(given.options) << given.error;
  EXPECT_EQ(given.options->format, ImageFormat::kRaw);
  EXPECT_EQ(given.options->offset, 0x1F00u);
  EXPECT_TRUE(given.options->defaults);
  EXPECT_EQ(given.options->file, "-");
}

TEST(FileOptionsTest, EachFormatWordAndAutoAgain) {
  for (const char* word : {"ihex", "srec", "elf", "raw"}) {
    const ParsedArgs p = P({"--format", word, "write-flash", "x"});
    ASSERT_TRUE(p.options) << word << p.error;
    EXPECT_STREQ(FormatWord(*p.options->format), word);
  }
  const ParsedArgs autod = P({"--format=auto", "write-flash", "x"});
  ASSERT_TRUE(autod.options) << autod.error;
  EXPECT_FALSE(autod.options->format);
  // One value each: a second --format is refused like any option's.
  EXPECT_FALSE(
      P({"--format", "raw", "--format", "auto", "write-flash", "x"}).options);
  const ParsedArgs stdio = P({"read-flash", "-"});
  ASSERT_TRUE(stdio.options);
  EXPECT_EQ(stdio.options->file, kStdioName);
}

TEST(FileOptionsTest, ContradictionsAreUsageErrors) {
  const struct {
    std::vector<std::string> args;
    const char* error;
  } cases[] = {
      {{"--format", "bin", "write-flash", "x"}, "Неверный формат: bin"},
      {{"--format", "elf", "read-flash", "x"}, "только читается"},
      {{"--offset", "0x80000", "write-flash", "x"}, "Неверный адрес"},
      {{"--offset", "12z", "write-flash", "x"}, "Неверный адрес"},
      {{"--offset", "", "write-flash", "x"}, "Неверный адрес"},
      {{"--offset", "16", "read-flash", "x"}, "только для записи"},
      {{"--offset", "16", "--format", "ihex", "write-flash", "x"},
       "только для двоичного"},
      {{"--defaults=1", "info"}, "не принимает значения"},
  };
  for (const auto& c : cases) {
    const ParsedArgs p = P(c.args);
    EXPECT_FALSE(p.options) << c.error;
    EXPECT_NE(p.error.find(c.error), std::string::npos) << p.error;
  }
  const ParsedArgs ok =
      P({"--offset", "4096", "--format", "raw", "write-eeprom", "x"});
  ASSERT_TRUE(ok.options) << ok.error;
  EXPECT_EQ(ok.options->offset, 4096u);
}

}  // namespace
}  // namespace taktm
