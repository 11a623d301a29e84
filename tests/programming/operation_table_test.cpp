// The one description of the operations, and the verify decision the write
// sequences and the command line share.
#include "programming/operation_table.h"

#include <set>
#include <string>

#include "programming/programming_fixture.h"

namespace taktm {
namespace {

TEST(OperationTableTest, EveryCodeOnceWithItsNameAndAtMostOneWord) {
  std::set<std::string> words;
  int expected_code = 0;
  for (const OperationRow& row : OperationTable()) {
    EXPECT_EQ(row.code, expected_code++);
    EXPECT_EQ(FindOperation(row.code), &row);
    EXPECT_STREQ(OperationName(row.code), row.name);
    EXPECT_NE(std::string(row.name), "");
    if (row.command == nullptr) continue;
    EXPECT_TRUE(words.insert(row.command).second) << row.command;
    EXPECT_EQ(FindOperationByCommand(row.command), &row);
  }
  EXPECT_EQ(FindOperation(21), nullptr);
  EXPECT_STREQ(OperationName(31), "");
  EXPECT_EQ(FindOperationByCommand("write"), nullptr);
  EXPECT_STREQ(OperationName(OP_WRITE_FLASH), "Записать память программ");
  EXPECT_STREQ(FindOperation(OP_READ_CALIBRATION)->command, "calibration");
}

// A write is checked by the verify of its own memory under that memory's
// option; a verify checks itself, always; nothing else verifies.
TEST(OperationTableTest, VerifyStepsBelongToTheirMemory) {
  for (const OperationRow& row : OperationTable()) {
    const bool file_memory = row.memory == OperationMemory::kFlash ||
                             row.memory == OperationMemory::kEeprom;
    if (!file_memory || row.action == OperationAction::kRead ||
        row.action == OperationAction::kErase) {
      EXPECT_EQ(row.verify_code, -1) << row.name;
      continue;
    }
    const OperationRow* verify = FindOperation(row.verify_code);
    ASSERT_NE(verify, nullptr) << row.name;
    EXPECT_EQ(verify->memory, row.memory);
    EXPECT_EQ(verify->action, OperationAction::kVerify);
    if (row.action == OperationAction::kVerify) {
      EXPECT_EQ(verify, &row);
      EXPECT_FALSE(row.verify_option);
    } else {
      EXPECT_EQ(row.verify_option, row.memory == OperationMemory::kFlash
                                       ? Option::kVerifyFlash
                                       : Option::kVerifyEeprom);
    }
  }
  EXPECT_TRUE(TakesFile(*FindOperation(OP_READ_EEPROM)));
  EXPECT_FALSE(TakesImage(*FindOperation(OP_READ_EEPROM)));
  EXPECT_TRUE(TakesImage(*FindOperation(OP_VERIFY_FLASH)));
  EXPECT_FALSE(TakesFile(*FindOperation(OP_ERASE_EEPROM)));
  EXPECT_TRUE(TakesBits(*FindOperation(OP_WRITE_LOCKS)));
  EXPECT_FALSE(TakesBits(*FindOperation(OP_READ_FUSES)));
}

class QueuesVerifyTest : public testing::ProgrammingTest {
 protected:
  void SetUp() override { Discover(); }
};

// The decision matches the sequence: a verify is queued exactly when it
// says so.
TEST_F(QueuesVerifyTest, FollowsTheOptionAndWhatTheChipAllows) {
  host_.file.assign(224, 0x5A);
  for (const int write : {OP_WRITE_FLASH, OP_WRITE_EEPROM}) {
    const int verify = write == OP_WRITE_FLASH ? 3 : 7;
    for (const bool ticked : {true, false}) {
      host_.options_off.clear();
      if (!ticked) host_.options_off = {{verify, true}};
      EXPECT_EQ(programmer_.QueuesVerify(write), ticked) << write;
      queue_.ClearQueue();
      Choose(write);
      EXPECT_EQ(Summary().find(write == OP_WRITE_FLASH ? " 0B@" : " 0F@") !=
                    std::string::npos,
                ticked)
          << Summary();
    }
  }
  host_.options_off.clear();
  EXPECT_TRUE(programmer_.QueuesVerify(OP_VERIFY_EEPROM));
  EXPECT_FALSE(programmer_.QueuesVerify(OP_READ_FLASH));
  EXPECT_FALSE(programmer_.QueuesVerify(OP_ERASE_ALL));

  // The last write is still queued; a chip that allows no signature read
  // would fail it and take the selection down with it.
  queue_.ClearQueue();
  device_.mask = 1u << OP_WRITE_FLASH | 1u << OP_VERIFY_EEPROM;
  programmer_.ListBox1Click(0);
  AnswerAll();
  EXPECT_FALSE(programmer_.QueuesVerify(OP_WRITE_FLASH));  // not allowed
  EXPECT_FALSE(programmer_.QueuesVerify(OP_VERIFY_FLASH));
  EXPECT_TRUE(programmer_.QueuesVerify(OP_VERIFY_EEPROM));
}

}  // namespace
}  // namespace taktm
