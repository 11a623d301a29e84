// The command line's manners: short options as their long forms, usage
// errors as JSON under --json, JSON text that is always UTF-8, and progress
// lines that fit the terminal without escape codes.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_args.h"
#include "cli/json_text.h"
#include "cli/progress_printer.h"
#include "cli/short_options.h"
#include "cli/usage_error.h"
#include "cli/utf8_text.h"

namespace taktm {
namespace {

using Words = std::vector<std::string>;

TEST(ShortOptionsTest, ReadAsTheirLongForms) {
  const ParsedArgs parsed = ParseCliArgs(
      {"-p", "/dev/ttyUSB1", "-b9600", "-c", "DEMO-8K", "-q", "erase"});
  ASSERT_TRUE(parsed.options) << parsed.error;
  EXPECT_EQ(parsed.options->port, "/dev/ttyUSB1");
  EXPECT_EQ(parsed.options->baud, 9600);
  EXPECT_EQ(parsed.options->chip, "DEMO-8K");
  EXPECT_TRUE(parsed.options->quiet);
  EXPECT_EQ(parsed.options->command, CliCommand::kErase);

  EXPECT_EQ(ParseCliArgs({"-V"}).options->command, CliCommand::kVersion);
  EXPECT_EQ(ParseCliArgs({"-qV"}).options->command, CliCommand::kVersion);
  EXPECT_EQ(ParseCliArgs({"-h"}).options->command, CliCommand::kHelp);
  // The long form's rules apply: a bad speed is refused alike.
  EXPECT_EQ(ParseCliArgs({"-b", "fast", "chips"}).error,
            "Неверная скорость: fast");
  EXPECT_EQ(ParseCliArgs({"-x", "chips"}).error, "Неизвестный ключ -x");
  // A short and a long form of one option are that option twice.
  EXPECT_EQ(ParseCliArgs({"-b", "9600", "--baud=19200", "chips"}).error,
            "Ключ --baud указан дважды");
}

TEST(ShortOptionsTest, ValuesAndWordsAfterDoubleDashAreLeftAlone) {
  // A value that looks like a short option stays a value.
  EXPECT_EQ(ExpandShortOptions({"--log", "-q", "-c", "-V", "erase"}),
            (Words{"--log", "-q", "--chip", "-V", "erase"}));
  // "-qcDEMO": flags, then a letter that takes the rest of the word.
  EXPECT_EQ(ExpandShortOptions({"--station", "-b", "--serial-name", "-p"}),
            (Words{"--station", "-b", "--serial-name", "-p"}));
  EXPECT_EQ(ExpandShortOptions({"--trace", "-q", "--range", "-c"}),
            (Words{"--trace", "-q", "--range", "-c"}));
  EXPECT_EQ(ExpandShortOptions({"-qcDEMO-8K"}),
            (Words{"--quiet", "--chip=DEMO-8K"}));
  EXPECT_EQ(ExpandShortOptions({"write-fuses", "-", "--", "-p"}),
            (Words{"write-fuses", "-", "--", "-p"}));
  // "-" stays BITS: no fuse ticked.
  const ParsedArgs none = ParseCliArgs({"-c", "DEMO-8K", "write-fuses", "-"});
  ASSERT_TRUE(none.options) << none.error;
  EXPECT_EQ(none.options->bits, "-");
}

TEST(ShortOptionsTest, JsonIsAskedForOnlyAsAnOption) {
  EXPECT_TRUE(AsksForJson({"--bogus", "--json"}));
  EXPECT_TRUE(AsksForJson({"--json=1", "chips"}));
  EXPECT_FALSE(AsksForJson({"--log", "--json", "chips"}));  // a file name
  EXPECT_FALSE(AsksForJson({"-p", "--json", "chips"}));
  EXPECT_FALSE(AsksForJson({"chips", "--", "--json"}));
  EXPECT_EQ(UsageErrorJson("Неизвестный ключ -x"),
            "{\"status\":\"usage\",\"exit\":2,"
            "\"message\":\"Неизвестный ключ -x\"}");
}

TEST(Utf8TextTest, InvalidBytesBecomeReplacementCharacters) {
  const std::string fffd = "\xEF\xBF\xBD";
  EXPECT_EQ(ValidUtf8("Все верно. ✓ 𝄞"), "Все верно. ✓ 𝄞");
  EXPECT_EQ(ValidUtf8("a\xFF"
                      "b"),
            "a" + fffd + "b");
  // Latin-1 and CP1251 file names: each stray byte replaced.
  EXPECT_EQ(ValidUtf8("\xE9t\xE9.hex"), fffd + "t" + fffd + ".hex");
  EXPECT_EQ(ValidUtf8("\xCF\xF0\xE8"), fffd + fffd + fffd);
  // A sequence cut short is one replacement; the byte after it survives.
  EXPECT_EQ(ValidUtf8("\xE2\x9C"
                      "A"),
            fffd + "A");
  EXPECT_EQ(ValidUtf8("\xD0"), fffd);
  // Overlong forms, surrogates and values above U+10FFFF are not UTF-8.
  EXPECT_EQ(ValidUtf8("\xC0\xAF"), fffd + fffd);
  EXPECT_EQ(ValidUtf8("\xED\xA0\x80"), fffd + fffd + fffd);
  EXPECT_EQ(ValidUtf8("\xF4\x90\x80\x80"), fffd + fffd + fffd + fffd);
  EXPECT_EQ(JsonString("\xFF"
                       "dump.hex"),
            "\"" + fffd + "dump.hex\"");
  EXPECT_EQ(CodePointCount("Байт 40%"), 8u);
}

TEST(ProgressFitTest, EveryWidthGetsALineThatFits) {
  const ProgressFigures f{6496, 16000, 4812.0};
  const std::string label = "Записать память программ";
  // Wide: the whole line with the full bar.
  EXPECT_EQ(FitBarLine(label, f, 30, 200),
            label + " [############------------------]  40% " +
                "6496/16000 байт, 4,7 КБ/с, осталось 0:02");
  // A little narrower: a shorter bar.
  EXPECT_EQ(FitBarLine(label, f, 30, 90),
            label + " [######----------]  40% " +
                "6496/16000 байт, 4,7 КБ/с, осталось 0:02");
  // Narrower: no bar, then no speed, then no label.
  EXPECT_EQ(FitBarLine(label, f, 30, 80),
            label + "  40% 6496/16000 байт, 4,7 КБ/с, осталось 0:02");
  EXPECT_EQ(FitBarLine(label, f, 30, 60), label + "  40% 6496/16000 байт");
  EXPECT_EQ(FitBarLine(label, f, 30, 30), " 40% 6496/16000 байт");
  EXPECT_EQ(FitBarLine(label, f, 30, 12), " 40% 6496/1");
  for (int columns = 1; columns <= 200; ++columns) {
    const std::string line = FitBarLine(label, f, 30, columns);
    EXPECT_LE(CodePointCount(line),
              static_cast<size_t>(std::max(columns - 1, 1)))
        << columns;
    EXPECT_EQ(ValidUtf8(line), line) << "a letter cut at " << columns;
  }
}

TEST(ProgressFitTest, ShorterRedrawIsPaddedWithSpacesNotEscapes) {
  std::ostringstream out;
  int columns = 200;
  ProgressPrinter printer(out, true, 10, [&columns] { return columns; });
  printer.Begin("W");
  printer.Update({1, 400, 90.0}, 0);
  const size_t first = out.str().size();
  columns = 30;  // the terminal was made narrower
  printer.Update({200, 400, 100.0}, 700);
  printer.End();
  const std::string second = out.str().substr(first);
  // Spaces clear the longer line before, as far as the narrower room goes.
  EXPECT_EQ(second, "\rW  50% 200/400 байт" + std::string(10, ' ') + "\n");
  EXPECT_EQ(out.str().find('\033'), std::string::npos);
}

}  // namespace
}  // namespace taktm
