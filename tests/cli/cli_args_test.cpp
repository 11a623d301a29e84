#include "cli/cli_args.h"

#include <gtest/gtest.h>

namespace taktm {
namespace {

CliOptions Parse(const std::vector<std::string>& args) {
  const ParsedArgs parsed = ParseCliArgs(args);
  EXPECT_TRUE(parsed.options) << parsed.error;
  return parsed.options.value_or(CliOptions{});
}

std::string ErrorOf(const std::vector<std::string>& args) {
  const ParsedArgs parsed = ParseCliArgs(args);
  EXPECT_FALSE(parsed.options);
  return parsed.error;
}

TEST(CliArgsTest, CommandsWithTheirArgumentsAndPortSettings) {
  const CliOptions o =
      Parse({"--port", "/dev/ttyUSB0", "--baud=115200", "--parity", "odd",
             "--chip", "DEMO-8K", "write-flash", "image.hex"});
  EXPECT_EQ(o.command, CliCommand::kWriteFlash);
  EXPECT_EQ(o.file, "image.hex");
  EXPECT_EQ(o.port, "/dev/ttyUSB0");
  EXPECT_EQ(o.baud, 115200);
  EXPECT_EQ(o.chip, "DEMO-8K");
  // Options may follow the command; BITS keeps its blanks.
  const CliOptions bits =
      Parse({"write-fuses", "CLK0, Сохранять EEPROM", "--json", "--quiet"});
  EXPECT_EQ(bits.command, CliCommand::kWriteFuses);
  EXPECT_EQ(bits.bits, "CLK0, Сохранять EEPROM");
  EXPECT_TRUE(bits.json);
  EXPECT_TRUE(bits.quiet);
  // "--" ends the options: a file may start with dashes.
  EXPECT_EQ(Parse({"read-flash", "--", "--odd.bin"}).file, "--odd.bin");
  EXPECT_EQ(Parse({"info", "--help"}).command, CliCommand::kHelp);
}

// -h and --version answer at once wherever they stand; any other single-dash
// word is an unknown key, not a command, and "-" alone stays a word.
TEST(CliArgsTest, HelpVersionAndPorts) {
  EXPECT_EQ(Parse({"-h"}).command, CliCommand::kHelp);
  EXPECT_EQ(Parse({"write-flash", "x.bin", "-h"}).command, CliCommand::kHelp);
  EXPECT_EQ(Parse({"--version"}).command, CliCommand::kVersion);
  EXPECT_EQ(Parse({"--chip", "1", "--version", "nonsense"}).command,
            CliCommand::kVersion);
  EXPECT_EQ(Parse({"--port", "-h", "info"}).port, "-h");  // a value
  EXPECT_EQ(Parse({"ports"}).command, CliCommand::kPorts);
  EXPECT_FALSE(EntryOf(CliCommand::kPorts).needs_chip);
  EXPECT_EQ(ErrorOf({"-v", "info"}), "Неизвестный ключ -v");
  EXPECT_EQ(Parse({"write-locks", "-"}).bits, "-");
  EXPECT_EQ(Parse({"read-flash", "--", "-h"}).file, "-h");
}

// Parity names map to the list index whose (crossed) mapping gives them.
TEST(CliArgsTest, ParityNamesGoThroughTheListIndex) {
  EXPECT_EQ(ParityIndexForName("none"), 0);
  EXPECT_EQ(ParityIndexForName("odd"), 1);  // "Чет"
  EXPECT_EQ(ParityIndexForName("EVEN"), 2);
  EXPECT_EQ(ParityIndexForName("space"), 3);  // "0"
  EXPECT_EQ(ParityIndexForName("mark"), 4);   // "1"
  EXPECT_FALSE(ParityIndexForName("parity"));
}

TEST(CliArgsTest, WriteOptionFlagsTouchOnlyTheirOptions) {
  const CliOptions o =
      Parse({"--no-erase", "--no-verify", "--skip-ff", "--set-locks",
             "--no-signature", "--reload", "write-eeprom", "x.eep"});
  auto is = [&](Option n, bool v) {
    return o.option_flags[n].has_value() && *o.option_flags[n] == v;
  };
  EXPECT_TRUE(is(Option::kEraseAll, false) &&
              is(Option::kEraseEeprom, false));  // erase
  EXPECT_TRUE(is(Option::kVerifyFlash, false) &&
              is(Option::kVerifyEeprom, false));  // verify
  EXPECT_TRUE(is(Option::kRewriteFf, false));     // write FF chunks
  EXPECT_TRUE(is(Option::kSetLockBits, true));    // lock bits
  EXPECT_TRUE(is(Option::kSignatureBeforeErase, false) &&
              is(Option::kSignatureAfterErase, false) &&
              is(Option::kSignatureBeforeEeprom, false));
  EXPECT_TRUE(is(Option::kReloadFlash, true) &&
              is(Option::kReloadEeprom, true));  // reload
  EXPECT_FALSE(
      o.option_flags[Option::kReadHexFiles] ||
      o.option_flags[Option::kReadEepFiles]);  // file formats: stored ones
  // Without flags every option comes from the store.
  for (const auto& c : Parse({"info"}).option_flags) EXPECT_FALSE(c);
  // The later flag wins.
  EXPECT_EQ(Parse({"--no-verify", "--verify", "info"})
                .option_flags[Option::kVerifyFlash],
            true);
}

TEST(CliArgsTest, UsageErrors) {
  EXPECT_EQ(ErrorOf({}), "Не задана команда");
  EXPECT_EQ(ErrorOf({"flash"}), "Неизвестная команда flash");
  EXPECT_EQ(ErrorOf({"--force", "info"}), "Неизвестный ключ --force");
  EXPECT_EQ(ErrorOf({"info", "--port"}), "Ключу --port нужно значение");
  EXPECT_NE(ErrorOf({"--baud", "56k", "info"}), "");
  EXPECT_NE(ErrorOf({"--baud", "-5", "info"}), "");
  EXPECT_NE(ErrorOf({"--parity", "1", "info"}), "");
  EXPECT_NE(ErrorOf({"--timeout", "0", "info"}), "");
  EXPECT_NE(ErrorOf({"--quiet=yes", "info"}), "");
  EXPECT_EQ(ErrorOf({"read-flash"}), "Команде read-flash нужен аргумент ФАЙЛ");
  EXPECT_EQ(ErrorOf({"write-locks"}),
            "Команде write-locks нужен аргумент БИТЫ");
  EXPECT_EQ(ErrorOf({"erase", "now"}), "Лишний аргумент now");
  // An option of one value given twice: neither value is taken.
  EXPECT_EQ(ErrorOf({"--log", "a.jsonl", "--log=b.jsonl", "erase"}),
            "Ключ --log указан дважды");
  EXPECT_EQ(ErrorOf({"--serial", "0:a", "write-flash", "f", "--serial", "0:b"}),
            "Ключ --serial указан дважды");
  const std::pair<const char*, const char*> kValues[] = {{"--baud", "9600"},
                                                         {"--parity", "odd"},
                                                         {"--chip", "1"},
                                                         {"--timeout", "5"}};
  for (const auto& [option, value] : kValues) {
    EXPECT_EQ(ErrorOf({option, value, option, value, "info"}),
              std::string("Ключ ") + option + " указан дважды");
  }
}

// --port names several ports, repeated or as a comma list; the first is the
// one the stored settings give way to.
TEST(CliArgsTest, SeveralPorts) {
  const CliOptions o = Parse(
      {"--port", "/dev/ttyUSB0, /dev/ttyUSB1", "--port=/dev/ttyACM0", "erase"});
  EXPECT_EQ(o.ports, (std::vector<std::string>{"/dev/ttyUSB0", "/dev/ttyUSB1",
                                               "/dev/ttyACM0"}));
  EXPECT_EQ(o.port, "/dev/ttyUSB0");
  EXPECT_EQ(ErrorOf({"--port", "a,,b", "erase"}), "Пустое имя порта");
  EXPECT_EQ(ErrorOf({"--port", "a,b", "--port", "a", "erase"}),
            "Порт a указан дважды");
  // Listings and files of their own need one port.
  EXPECT_EQ(ErrorOf({"--port", "a,b", "read-flash", "x.bin"}),
            "Команда read-flash выполняется только на одном порту");
  EXPECT_NE(ErrorOf({"--port", "a,b", "chips"}), "");
  EXPECT_TRUE(ParseCliArgs({"--port", "a,b", "write-locks", "-"}).options);
  EXPECT_TRUE(ParseCliArgs({"--port", "a", "read-flash", "x.bin"}).options);
}

TEST(CliArgsTest, SerialNumberOption) {
  std::string error;
  auto serial = [&](const std::string& text) {
    const std::optional<SerialOption> s = ParseSerialOption(text, &error);
    EXPECT_TRUE(s) << text << ": " << error;
    return s.value_or(SerialOption{});
  };
  SerialOption s = serial("0x1FFC:serial.txt");
  EXPECT_EQ(s.address, 0x1FFCu);
  EXPECT_EQ(s.file, "serial.txt");
  EXPECT_EQ(s.width, 4);
  EXPECT_EQ(s.format, SerialFormat::kBinary);
  s = serial("100:/var/lib/line/next:6:dec");
  EXPECT_EQ(s.address, 100u);
  EXPECT_EQ(s.width, 6);
  EXPECT_EQ(s.format, SerialFormat::kDecimal);
  // Width and format come from the right: the file name may hold colons.
  s = serial("0X10:C:\\line\\next.txt:2");
  EXPECT_EQ(s.file, "C:\\line\\next.txt");
  EXPECT_EQ(s.width, 2);
  EXPECT_EQ(serial("0:a:b:bin").file, "a:b");
  EXPECT_EQ(serial("0:8").file, "8");  // a lone field is the file
  EXPECT_EQ(serial("0:n:20:dec").width, 20);

  for (const char* bad : {"serial.txt", "x:serial.txt", "0x:serial.txt",
                          "0x100000000:n", "12345678901:n", "0:", "0::4",
                          "0:n:0", "0:n:9", "0:n:9:bin", "0:n:21:dec"}) {
    EXPECT_FALSE(ParseSerialOption(bad, &error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
  EXPECT_TRUE(ParseSerialOption("0xFFFFFFFF:n", &error));
  // Only writes take a number; the log wants a chip.
  EXPECT_EQ(ErrorOf({"--serial", "0:n", "verify-flash", "x.bin"}),
            "Ключ --serial — только для write-flash, write-eeprom и "
            "program");
  EXPECT_TRUE(
      ParseCliArgs({"--serial", "0:n", "--log", "l", "write-eeprom", "x"})
          .options);
  EXPECT_NE(ErrorOf({"--log", "l", "chips"}), "");
}

TEST(CliArgsTest, ChipByIndexOrName) {
  const std::vector<std::string> rows = {"DEMO-1K", "Demo-4K", "7", "ATX"};
  EXPECT_EQ(FindChipRow("1", rows), 1);
  EXPECT_EQ(FindChipRow("Demo-4K", rows), 1);
  EXPECT_EQ(FindChipRow("demo-1k", rows), 0);  // ASCII case ignored
  EXPECT_EQ(FindChipRow("7", rows), 2);        // no row 7: the name
  EXPECT_EQ(FindChipRow("4", rows), -1);
  EXPECT_EQ(FindChipRow("DEMO", rows), -1);
  // A name listed twice, or twice but for case, names no one chip; the
  // index still does.
  const std::vector<std::string> twice = {"DEMO-8K", "demo-8k", "DEMO-8K"};
  EXPECT_EQ(FindChipRow("DEMO-8K", twice), kAmbiguousChip);
  EXPECT_EQ(FindChipRow("Demo-8K", twice), kAmbiguousChip);
  EXPECT_EQ(FindChipRow("demo-8k", twice), 1);  // one exact match
  EXPECT_EQ(FindChipRow("2", twice), 2);
}

TEST(CliArgsTest, BitTicksByNameOrIndex) {
  const std::vector<std::string> names = {"CLK0", "CLK1", "Сброс по питанию"};
  std::string error;
  EXPECT_EQ(ParseBitTicks("CLK1, Сброс по питанию", names, &error),
            (std::vector<bool>{false, true, true}));
  EXPECT_EQ(ParseBitTicks("0,2", names, &error),
            (std::vector<bool>{true, false, true}));
  EXPECT_EQ(ParseBitTicks("-", names, &error),
            (std::vector<bool>{false, false, false}));
  EXPECT_FALSE(ParseBitTicks("CLK2", names, &error));
  EXPECT_EQ(error, "Нет бита \"CLK2\"");
  EXPECT_FALSE(ParseBitTicks("3", names, &error));
  EXPECT_FALSE(ParseBitTicks("CLK0,,CLK1", names, &error));
  EXPECT_FALSE(ParseBitTicks("", names, &error));
}

TEST(CliArgsTest, EveryOperationCommandHasItsOperation) {
  EXPECT_STREQ(CommandForOperation(9), "read-flash");
  EXPECT_STREQ(CommandForOperation(7), "erase");
  EXPECT_EQ(CommandForOperation(1), nullptr);  // no sequence carries it out
  EXPECT_TRUE(EntryOf(CliCommand::kVerifyEeprom).file_is_input);
  EXPECT_FALSE(EntryOf(CliCommand::kReadEeprom).file_is_input);
}

}  // namespace
}  // namespace taktm
