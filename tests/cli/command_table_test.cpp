// The command line's table against the parser, the usage text and the
// rules the runner relies on: a word added to the operation table must parse,
// be listed with its argument and follow the several-port and range rules.
#include "cli/command_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "cli/memory_commands.h"
#include "programming/operation_table.h"

namespace taktm {
namespace {

using Words = std::set<std::string>;

// The words the command line knows, and those of them that run on several
// ports at once or take --range. Scripts and the gang rely on them.
// clang-format off
const Words kWords = {
    "ports", "info", "chips", "ops",
    "signature", "read-fuses", "write-fuses", "read-locks", "write-locks",
    "erase", "read-flash", "write-flash", "verify-flash",
    "erase-eeprom", "read-eeprom", "write-eeprom", "verify-eeprom",
    "calibration", "blank-check", "checksum", "program",
};
const Words kSeveralPorts = {
    "signature", "write-fuses", "write-locks", "erase",
    "write-flash", "verify-flash", "erase-eeprom", "write-eeprom",
    "verify-eeprom", "calibration", "program",
};
const Words kRange = {
    "read-flash", "verify-flash", "read-eeprom", "verify-eeprom",
    "blank-check", "checksum",
};
// clang-format on

// The words of a command line running `entry`, with an argument that fits.
std::vector<std::string> CommandLine(const CommandEntry& entry) {
  std::vector<std::string> words = {entry.name};
  if (entry.command == CliCommand::kProgram) {  // its images as options
    words.push_back("--flash=image.hex");
  } else if (entry.takes_bits) {
    words.push_back("-");
  } else if (entry.takes_file) {
    words.push_back("image.hex");
  } else if (entry.argument != nullptr) {
    words.push_back("flash");
  }
  return words;
}

std::vector<const CommandEntry*> Listed() {
  std::vector<const CommandEntry*> listed;
  for (const CommandEntry& entry : CommandTable()) {
    if (entry.command != CliCommand::kHelp) listed.push_back(&entry);
  }
  return listed;
}

TEST(CommandTableTest, EveryWordParsesToItsCommandAndOperation) {
  Words words;
  for (const CommandEntry* entry : Listed()) {
    words.insert(entry->name);
    const ParsedArgs parsed = ParseCliArgs(CommandLine(*entry));
    ASSERT_TRUE(parsed.options) << entry->name << ": " << parsed.error;
    EXPECT_EQ(parsed.options->command, entry->command) << entry->name;
    EXPECT_EQ(&EntryOf(entry->command), entry) << entry->name;
    if (entry->operation >= 0) {
      EXPECT_EQ(OperationOf(*parsed.options), entry->operation);
      EXPECT_STREQ(CommandForOperation(entry->operation), entry->name);
    }
  }
  EXPECT_EQ(words, kWords);
  // An operation word left without a usage line would be a hidden command.
  for (const OperationRow& row : OperationTable()) {
    if (row.command != nullptr) {
      EXPECT_NE(row.usage, nullptr) << row.command;
    }
  }
}

TEST(CommandTableTest, UsageListsEveryWordWithItsArgumentOnce) {
  const std::string usage = UsageText();
  for (const CommandEntry* entry : Listed()) {
    std::string head = std::string("\n  ") + entry->name;
    if (entry->argument != nullptr) head += std::string(" ") + entry->argument;
    const size_t at = usage.find(head + "  ");
    ASSERT_NE(at, std::string::npos) << entry->name;
    // The description follows on the same line, once.
    const size_t end = usage.find('\n', at + 1);
    EXPECT_NE(usage.find_first_not_of(' ', at + head.size()), end)
        << entry->name;
    EXPECT_EQ(usage.find(head + " ", at + 1), std::string::npos) << entry->name;
  }
  // Each description line of the commands section starts at one column.
  const std::string lines = CommandUsageLines();
  EXPECT_EQ(lines.find("\n\n"), std::string::npos);
  EXPECT_NE(lines.find("\n                        (с --probe"),
            std::string::npos);
}

TEST(CommandTableTest, SeveralPortsAndRangeFollowTheTable) {
  Words several;
  Words range;
  for (const CommandEntry* entry : Listed()) {
    std::vector<std::string> words = CommandLine(*entry);
    words.insert(words.begin(), {"--port", "/dev/a,/dev/b"});
    const ParsedArgs on_two = ParseCliArgs(words);
    EXPECT_EQ(on_two.options.has_value(), entry->several_ports)
        << entry->name << ": " << on_two.error;
    if (entry->several_ports) several.insert(entry->name);

    words = CommandLine(*entry);
    words.insert(words.begin(), {"--range", "0:16"});
    const ParsedArgs ranged = ParseCliArgs(words);
    EXPECT_EQ(ranged.options.has_value(), entry->takes_range)
        << entry->name << ": " << ranged.error;
    if (entry->takes_range) range.insert(entry->name);
  }
  EXPECT_EQ(several, kSeveralPorts);
  EXPECT_EQ(range, kRange);
}

}  // namespace
}  // namespace taktm
