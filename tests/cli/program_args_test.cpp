// The command line of program: its options, the memory --serial names, and
// the plan and settings a run holds.
#include <gtest/gtest.h>

#include "cli/cli_args.h"
#include "cli/file_roles.h"
#include "cli/program_steps.h"

namespace taktm {
namespace {

ParsedArgs Parse(std::vector<std::string> args) { return ParseCliArgs(args); }

TEST(ProgramArgsTest, TakesAnySubsetInAnyOrder) {
  const ParsedArgs p = Parse({"program", "--locks", "0", "--port", "a,b",
                              "--eeprom", "e.hex", "--fuses", "-"});
  ASSERT_TRUE(p.options) << p.error;
  EXPECT_EQ(p.options->command, CliCommand::kProgram);
  EXPECT_EQ(p.options->eeprom_file, "e.hex");
  EXPECT_TRUE(p.options->flash_file.empty());
  EXPECT_EQ(p.options->fuses, "-");
  EXPECT_EQ(p.options->locks, "0");
  EXPECT_EQ(p.options->ports.size(), 2u);
  // The steps in the order a product needs, the erase only of the EEPROM
  // when no flash is written.
  EXPECT_EQ(
      ProgramPlan(*p.options),
      (std::vector<ProgramStep>{ProgramStep::kSignature, ProgramStep::kErase,
                                ProgramStep::kEeprom, ProgramStep::kFuses,
                                ProgramStep::kLocks}));
  EXPECT_EQ(ProgramStepOperation(ProgramStep::kErase, *p.options), 0x0C);
  const ParsedArgs bits = Parse({"program", "--fuses", "1"});
  ASSERT_TRUE(bits.options);
  EXPECT_EQ(
      ProgramPlan(*bits.options),
      (std::vector<ProgramStep>{ProgramStep::kSignature, ProgramStep::kFuses}));
}

TEST(ProgramArgsTest, RefusesWhatCannotBeMeant) {
  struct Case {
    std::vector<std::string> args;
    const char* error;
  };
  const Case cases[] = {
      {{"program"}, "Команде program нужно хотя бы одно"},
      {{"program", "f.hex"}, "Лишний аргумент f.hex"},
      {{"write-flash", "f.hex", "--eeprom", "e.hex"},
       "Ключи --flash, --eeprom, --fuses и --locks — только для команды "
       "program"},
      {{"program", "--eeprom", "e.hex", "--serial", "0x10:c.txt"},
       "Номер в памяти программ (--serial) требует --flash"},
      {{"program", "--flash", "f.hex", "--serial", "eeprom:0x10:c.txt"},
       "Номер в EEPROM (--serial eeprom:…) требует --eeprom ФАЙЛ"},
      {{"write-flash", "f.hex", "--serial", "eeprom:0x10:c.txt"},
       "Номер (--serial) в памяти, которую команда write-flash не пишет"},
      {{"program", "--flash", "-"}, "не из стандартного ввода"},
      {{"program", "--flash", "f.hex", "--flash", "g.hex"},
       "Ключ --flash указан дважды"},
  };
  for (const Case& c : cases) {
    const ParsedArgs p = Parse(c.args);
    EXPECT_FALSE(p.options) << c.args[0];
    EXPECT_NE(p.error.find(c.error), std::string::npos) << p.error;
  }
  // One file as both images is a slip, not a product.
  const ParsedArgs same =
      Parse({"program", "--flash", "a.bin", "--eeprom", "./a.bin"});
  ASSERT_TRUE(same.options);
  EXPECT_NE(SharedFileError(*same.options).find("Один файл в двух ролях"),
            std::string::npos);
}

TEST(ProgramArgsTest, SerialNamesItsMemoryAndKeepsTheOldForm) {
  const ParsedArgs old =
      Parse({"write-eeprom", "e.bin", "--serial", "0x1F:C:\\n\\c.txt:2:dec"});
  ASSERT_TRUE(old.options) << old.error;
  EXPECT_EQ(old.options->serial->memory, MemoryTarget::kNone);
  EXPECT_EQ(old.options->serial->file, "C:\\n\\c.txt");
  const ParsedArgs named =
      Parse({"program", "--flash", "f.bin", "--eeprom", "e.bin", "--serial",
             "eeprom:0x10:c.txt:2:be"});
  ASSERT_TRUE(named.options) << named.error;
  EXPECT_EQ(named.options->serial->memory, MemoryTarget::kEeprom);
  EXPECT_EQ(named.options->serial->address, 0x10u);
  EXPECT_EQ(named.options->serial->width, 2);
  EXPECT_TRUE(named.options->serial->big_endian);
  EXPECT_EQ(named.options->serial->file, "c.txt");
  const ParsedArgs flash =
      Parse({"write-flash", "f.bin", "--serial", "flash:0x10:c.txt"});
  ASSERT_TRUE(flash.options) << flash.error;
  EXPECT_EQ(flash.options->serial->memory, MemoryTarget::kFlash);
}

TEST(ProgramArgsTest, RunOptionsLeaveSignatureEraseAndLocksToTheSteps) {
  const OptionsModel run = ProgramRunOptions(OptionsModel());
  for (Option o : {Option::kSignatureBeforeErase, Option::kSignatureAfterErase,
                   Option::kSignatureBeforeEeprom, Option::kEraseAll,
                   Option::kEraseEeprom, Option::kSetLockBits}) {
    EXPECT_FALSE(run[o]) << OptionNumber(o);
  }
  OptionsModel no_verify;
  no_verify.SetTicked(Option::kVerifyFlash, false);
  no_verify.SetTicked(Option::kVerifyEeprom, false);
  EXPECT_TRUE(ProgramRunOptions(no_verify)[Option::kVerifyFlash]);
  EXPECT_TRUE(ProgramRunOptions(no_verify)[Option::kVerifyEeprom]);
}

}  // namespace
}  // namespace taktm
