// Command bytes and the handling of each kind of reply.
#include "programming/cp1251.h"
#include "programming/programming_fixture.h"
#include "programming/programming_texts.h"

namespace taktm {
namespace {

using testing::Bytes;
using testing::ProgrammingTest;

using ReplyHandlingTest = ProgrammingTest;

TEST_F(ReplyHandlingTest, BuildersLayOutTheCommandBytes) {
  buffer_.Assign({1, 2, 3, 4, 5});
  programmer_.QueueRead(OP_READ_FLASH, 448, 224);
  programmer_.QueueBitState(OP_WRITE_FUSES, 3, true);
  programmer_.QueueIndexed(SVC_SELECT_CHIP, 2);
  programmer_.QueueCommand(SVC_END);
  programmer_.QueueData(OP_WRITE_FLASH, 0, 3);
  programmer_.QueueData(OP_VERIFY_EEPROM, 3, 200);  // cut at the buffer's end
  buffer_.Set(0, 0xAA);  // later edits do not reach queued commands
  EXPECT_EQ(Queued(), (std::vector<Bytes>{
                          {0x09, 0xC0, 0x01, 0x00, 0x00, 0xE0},
                          {0x04, 0x03, 0x01},
                          {0xF9, 0x02},
                          {0xFF},
                          {0x0A, 0, 0, 0, 0, 3, 1, 2, 3},
                          {0x0F, 3, 0, 0, 0, 2, 4, 5},
                      }));
}

TEST_F(ReplyHandlingTest, CommandTooLongForAFrameStopsItsSequence) {
  buffer_.Assign(Bytes(300, 0x5A));
  programmer_.QueueCommand(SVC_END);
  programmer_.QueueData(OP_WRITE_FLASH, 0, 255);  // 261 bytes with its header
  programmer_.QueueCommand(SVC_END);  // the rest of the same sequence
  EXPECT_TRUE(queue_.empty());
  EXPECT_TRUE(programmer_.status_error());
  EXPECT_EQ(programmer_.status_text(),
            "Команда слишком длинная для кадра! Очередь команд очищена.");
  EXPECT_EQ(programmer_.outcome().kind, OutcomeKind::kCommandRefused);
  // The next sequence starts afresh.
  programmer_.FormShow();
  EXPECT_EQ(programmer_.outcome().kind, OutcomeKind::kNone);
  EXPECT_EQ(Queued(), (std::vector<Bytes>{{SVC_END}, {SVC_GET_NAME}}));
}

TEST_F(ReplyHandlingTest, DeviceTextsAreDecodedFromWindows1251) {
  const uint8_t text[] = {0xCF, 0xF0, 0xEE, 0xE3, 'A', '1', 0xB8, 0xA8, 0x98};
  EXPECT_EQ(DecodeCp1251(text, sizeof text), "ПрогA1ёЁ\uFFFD");
  programmer_.QueueCommand(SVC_GET_NAME);
  Reply({SVC_GET_NAME, 4, 0xD2, 0xC0, 0xCA, 0xD2});
  EXPECT_EQ(programmer_.caption(), "ТАКТ");
}

TEST_F(ReplyHandlingTest, SignatureVerdicts) {
  programmer_.QueueCommand(OP_READ_SIGNATURE);
  programmer_.QueueCommand(SVC_END);
  Reply({0x00, 3, 0x1E, 0x95, 0x0F, 1});
  EXPECT_EQ(programmer_.status_text(), "Сигнатура: 1E 95 F верна");
  EXPECT_EQ(programmer_.outcome().kind, OutcomeKind::kSignatureRight);
  EXPECT_EQ(programmer_.outcome().text, programmer_.status_text());
  EXPECT_FALSE(programmer_.status_error());
  EXPECT_TRUE(programmer_.SignatureOk());
  EXPECT_EQ(Summary(), "FF");
  Reply({SVC_END});

  programmer_.QueueCommand(OP_READ_SIGNATURE);
  Reply({0x00, 0, 1});
  EXPECT_EQ(programmer_.status_text(), "Сигнатура: верна");

  programmer_.QueueCommand(OP_READ_SIGNATURE);
  programmer_.QueueCommand(OP_ERASE_ALL);
  Reply({0x00, 3, 0x1E, 0x95, 0x0F, 0});
  EXPECT_EQ(programmer_.status_text(), "Сигнатура: 1E 95 F не верна!");
  EXPECT_EQ(programmer_.outcome().kind, OutcomeKind::kSignatureWrong);
  EXPECT_EQ(programmer_.outcome().text, programmer_.status_text());
  EXPECT_TRUE(programmer_.status_error());
  EXPECT_FALSE(programmer_.SignatureOk());
  EXPECT_TRUE(queue_.empty());
}

// A reply without every byte its row lists answers nothing: the head stays
// and goes out again at the next acknowledgement, and the whole reply the
// device then sends is taken. Before, the missing bytes read as 0 (a size of
// 0, an empty name, a refused signature).
TEST_F(ReplyHandlingTest, ShortRepliesAnswerNothing) {
  buffer_.Resize(8);
  const struct {
    Bytes command;
    Bytes cut;
    Bytes whole;
  } cases[] = {
      {{SVC_GET_INFO_LINE, 0}, {0xFC, 0}, {0xFC, 0, 1, 'v'}},
      {{SVC_GET_FLASH_SIZE}, {0xF3}, {0xF3, 0, 0x20, 0, 0}},
      {{SVC_GET_OPERATIONS}, {0xF8, 1, 2, 3}, {0xF8, 1, 2, 0, 0}},
      {{SVC_GET_LOCK_COUNT}, {0xF5}, {0xF5, 0}},
      {{SVC_GET_NAME}, {0xFE, 4, 'T', 'A'}, {0xFE, 4, 'T', 'A', 'K', 'T'}},
      {{OP_READ_SIGNATURE},
       {0x00, 3, 0x1E, 0x95, 0x0F},
       {0x00, 3, 0x1E, 0x95, 0x0F, 1}},
      {{OP_READ_CALIBRATION}, {0x14, 2, 0xA0}, {0x14, 2, 0xA0, 0xA1}},
      {{OP_READ_FLASH, 2, 0, 0, 0, 3},
       {0x09, 2, 0, 0, 0, 3, 7, 8},
       {0x09, 2, 0, 0, 0, 3, 7, 8, 9}},
      {{OP_VERIFY_FLASH, 0, 0, 0, 0, 0},
       {0x0B, 0, 0, 0, 0, 0},
       {0x0B, 0, 0, 0, 0, 0, 1}},
  };
  programmer_.QueueCommand(SVC_GET_INFO_COUNT);
  Reply({0xFD, 1});  // queues the request for line 0
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.command[0]));
    if (queue_.empty()) Enqueue(c.command);
    const std::string status = programmer_.status_text();
    Reply(c.cut);
    ASSERT_EQ(queue_.count(), 1u);
    EXPECT_EQ(programmer_.status_text(), status);
    const size_t writes = link_.writes.size();
    Ack();
    EXPECT_EQ(link_.writes.size(), writes + 1);  // the head again
    Reply(c.whole);
    EXPECT_TRUE(queue_.empty() || queue_.entry(0) != c.command);
    queue_.ClearQueue();  // what the name reply asks for next
  }
  EXPECT_EQ(programmer_.FlashSize(), 0x2000u);
  EXPECT_EQ(programmer_.caption(), "TAKT");
  EXPECT_EQ(host_.lines, (std::vector<std::string>{"v"}));
  EXPECT_EQ(buffer_.bytes(), (Bytes{0, 0, 7, 8, 9, 0, 0, 0}));
  EXPECT_EQ(programmer_.status_text(), "Калибровочные байты: A0 A1");
  EXPECT_EQ(programmer_.outcome().kind, OutcomeKind::kCalibration);
  EXPECT_TRUE(programmer_.SignatureOk());
}

TEST_F(ReplyHandlingTest, VerifyMismatchStopsTheRun) {
  programmer_.QueueRead(OP_VERIFY_FLASH, 0x1C0, 1);
  programmer_.QueueRead(OP_VERIFY_FLASH, 0x1C0, 1);
  programmer_.QueueCommand(SVC_END);
  Reply({0x0B, 0xC0, 0x01, 0, 0, 1, 1});
  EXPECT_EQ(programmer_.status_text(), "");
  EXPECT_EQ(programmer_.outcome().kind, OutcomeKind::kNone);
  EXPECT_EQ(queue_.count(), 2u);
  host_.changes.clear();
  Reply({0x0B, 0xC0, 0x01, 0, 0, 1, 0});
  EXPECT_EQ(programmer_.status_text(),
            "Ошибка по адресу 1C0. Попробуйте программировать снова!");
  EXPECT_EQ(programmer_.outcome().kind, OutcomeKind::kVerifyMismatch);
  EXPECT_EQ(programmer_.outcome().address, 0x1C0u);
  EXPECT_EQ(programmer_.outcome().text, programmer_.status_text());
  EXPECT_FALSE(programmer_.outcome().mismatch);  // not read back here
  // Announced after the status line it explains.
  EXPECT_EQ(host_.changes,
            (std::vector<Aspect>{Aspect::kStatus, Aspect::kOutcome}));
  EXPECT_TRUE(programmer_.status_error());
  EXPECT_TRUE(queue_.empty());
}

TEST_F(ReplyHandlingTest, DuplicateVerdictCannotPassTheNextChunk) {
  programmer_.QueueData(OP_VERIFY_FLASH, 0, 0);
  programmer_.QueueData(OP_VERIFY_FLASH, 224, 0);
  Reply({0x0B, 0, 0, 0, 0, 0, 1});
  Reply({0x0B, 0, 0, 0, 0, 0, 1});  // the first chunk's, sent twice
  ASSERT_EQ(queue_.count(), 1u);
  Reply({0x0B, 0xE0, 0, 0, 0, 0, 0});
  EXPECT_EQ(programmer_.status_text(),
            "Ошибка по адресу E0. Попробуйте программировать снова!");
  EXPECT_EQ(programmer_.outcome().address, 0xE0u);
}

TEST_F(ReplyHandlingTest, DataGoesWhereAskedWithinWhatExists) {
  buffer_.Resize(8);
  programmer_.QueueRead(OP_READ_FLASH, 5, 2);
  // A late duplicate for another chunk neither lands nor completes this one.
  Reply({0x09, 0, 0, 0, 0, 2, 0x11, 0x22});
  EXPECT_EQ(buffer_.bytes(), (Bytes(8, 0)));
  ASSERT_EQ(queue_.count(), 1u);
  Reply({0x09, 5, 0, 0, 0, 2, 0xAB, 0xCD});
  EXPECT_EQ(buffer_.bytes(), (Bytes{0, 0, 0, 0, 0, 0xAB, 0xCD, 0}));
  programmer_.QueueRead(OP_READ_EEPROM, 6, 5);
  Reply({0x0D, 6, 0, 0, 0, 5, 1, 2, 3});           // fewer bytes than it counts
  Reply({0x0D, 6, 0, 0, 0, 6, 1, 2, 3, 4, 5, 6});  // more than was asked
  EXPECT_EQ(queue_.count(), 1u);                   // neither completes the read
  Reply({0x0D, 6, 0, 0, 0, 5, 1, 2, 3, 4, 5});     // beyond the buffer's end
  EXPECT_EQ(buffer_.bytes(), (Bytes{0, 0, 0, 0, 0, 0xAB, 1, 2}));
  programmer_.QueueRead(OP_READ_FLASH, 0, 0);
  Reply({0x09, 0, 0, 0, 0, 0});
  EXPECT_EQ(host_.grid_refreshes, 3);
  EXPECT_TRUE(queue_.empty());
  EXPECT_FALSE(buffer_.modified());
}

// A device may carry fewer bytes than a read asked for: the reply completes
// the read and the rest goes out next, ahead of the run's SVC_END; an answer
// with no bytes completes nothing (it would be asked again without end).
TEST_F(ReplyHandlingTest, ReadAnsweredInPartsAsksForTheRestNext) {
  buffer_.Resize(16);
  programmer_.QueueRead(OP_READ_FLASH, 2, 10);
  programmer_.QueueCommand(SVC_END);
  Reply({0x09, 2, 0, 0, 0, 0});
  EXPECT_EQ(queue_.count(), 2u);
  Reply({0x09, 2, 0, 0, 0, 4, 1, 2, 3, 4});
  EXPECT_EQ(Queued(), (std::vector<Bytes>{{0x09, 6, 0, 0, 0, 6}, {0xFF}}));
  Reply({0x09, 6, 0, 0, 0, 5, 5, 6, 7, 8, 9});
  Reply({0x09, 11, 0, 0, 0, 1, 10});
  Reply({SVC_END});
  EXPECT_TRUE(queue_.empty());
  EXPECT_EQ(buffer_.bytes(),
            (Bytes{0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0, 0, 0, 0}));
}

// A read answered in parts ahead of a verify run: the verify's closing
// SVC_END is still the one that claims success.
TEST_F(ReplyHandlingTest, ReadInPartsKeepsTheVerifyEndItsOwn) {
  Discover();
  buffer_.Resize(device_.flash.size());
  buffer_.WriteAt(0, device_.flash.data(), device_.flash.size());
  Choose(OP_READ_FLASH);
  Choose(OP_VERIFY_FLASH);  // queued behind the read
  AnswerHead();             // the chip selection
  Bytes part = device_.ReplyFor(queue_.entry(0));
  part[5] = 100;
  part.resize(6 + 100);
  Reply(part);
  AnswerAll();
  EXPECT_EQ(buffer_.bytes(), device_.flash);
  EXPECT_EQ(programmer_.status_text(), kAllRight);
  EXPECT_EQ(programmer_.outcome().kind, OutcomeKind::kAllRight);
}

TEST_F(ReplyHandlingTest, CalibrationAndSizes) {
  programmer_.QueueCommand(OP_READ_CALIBRATION);
  Reply({0x14, 3, 0xA0, 0x05, 0xFF, 0x77});  // a byte beyond its row
  EXPECT_EQ(programmer_.status_text(), "Калибровочные байты: A0 5 FF");
  EXPECT_EQ(programmer_.outcome().text, programmer_.status_text());
  for (uint8_t op :
       {SVC_GET_FLASH_SIZE, SVC_GET_EEPROM_SIZE, SVC_GET_SIZE_F1}) {
    programmer_.QueueCommand(op);
  }
  Reply({0xF3, 0x00, 0x00, 0x02, 0x00});
  Reply({0xF2, 0x00, 0x10, 0x00, 0x00});
  Reply({0xF1, 0x78, 0x56, 0x34, 0x12});
  EXPECT_EQ(programmer_.FlashSize(), 0x20000u);
  EXPECT_EQ(programmer_.EepromSize(), 0x1000u);
  EXPECT_EQ(programmer_.SizeF1(), 0x12345678u);
}

TEST_F(ReplyHandlingTest, OperationMaskFillsRowsInCodeOrder) {
  EXPECT_FALSE(programmer_.IsOperationAllowed(0));
  programmer_.QueueCommand(SVC_GET_OPERATIONS);
  Reply({0xF8, 0x01, 0x06, 0x10, 0x02});  // bits 0, 9, 10, 20 and 25
  EXPECT_EQ(programmer_.operation_rows(),
            (std::vector<std::string>{
                "Читать сигнатуру", "Читать память программ",
                "Записать память программ", "Читать калибровочные байты", ""}));
  const auto& codes = programmer_.OperationCodes();
  EXPECT_EQ((Bytes{codes.begin(), codes.begin() + 5}),
            (Bytes{0, 9, 10, 20, 25}));
  EXPECT_TRUE(programmer_.IsOperationAllowed(25));
  EXPECT_FALSE(programmer_.IsOperationAllowed(7));

  programmer_.QueueCommand(SVC_GET_OPERATIONS);
  Reply({0xF8, 0x00, 0x00, 0xE0, 0xFF});  // bits 21..31 only
  EXPECT_EQ(programmer_.operation_rows(), std::vector<std::string>(11, ""));
  EXPECT_EQ(codes[0], 21);
  EXPECT_EQ(codes[10], 31);
  EXPECT_FALSE(programmer_.IsOperationAllowed(0));  // stale slots do not count
}

TEST_F(ReplyHandlingTest, BitRowsTakeOnlyWhatExists) {
  programmer_.QueueCommand(SVC_GET_LOCK_COUNT);
  Reply({0xF5, 0});
  EXPECT_EQ(programmer_.LockBitCount(), 0);
  EXPECT_TRUE(queue_.empty());  // no name request

  programmer_.QueueCommand(SVC_GET_FUSE_COUNT);
  programmer_.QueueCommand(SVC_END);
  Reply({0xF7, 2});
  EXPECT_EQ(Summary(), "FF F6:0 F6:1");
  Reply({SVC_END});
  Reply({0xF6, 1, 3, 'S', 'U', 'T'});  // not the head's bit
  EXPECT_EQ(Summary(), "F6:0 F6:1");
  Reply({0xF6, 0, 4, 'C', 'K', 'S', 'E'});
  Reply({0xF6, 1, 3, 'S', 'U', 'T'});
  programmer_.QueueIndexed(SVC_GET_FUSE_NAME, 7);
  Reply({0xF6, 7, 2, 'X', 'X'});  // no such row
  programmer_.QueueCommand(OP_READ_FUSES);
  Reply({0x03, 4, 1, 0, 1, 1});  // more states than rows
  const BitRows& fuses = programmer_.fuse_bits();
  ASSERT_EQ(fuses.count(), 2);
  EXPECT_EQ(fuses.row(0).caption, "CKSE");
  EXPECT_EQ(fuses.row(1).caption, "SUT");
  EXPECT_TRUE(fuses.row(0).ticked);
  EXPECT_FALSE(fuses.row(1).ticked);

  programmer_.QueueCommand(SVC_GET_FUSE_COUNT);
  Reply({0xF7, 2});  // a new count replaces rows, captions and ticks
  EXPECT_EQ(fuses.row(0).caption, "");
  EXPECT_FALSE(fuses.row(0).ticked);
}

// A name or about line request that an idle acknowledgement crossed is run
// and answered twice. The twin carries the index it answers and must not
// fill the next row (before, the opcode alone decided: the next row got the
// previous text and the last row stayed empty).
TEST_F(ReplyHandlingTest, NamesAnsweredTwiceKeepTheirRows) {
  programmer_.QueueCommand(SVC_GET_INFO_COUNT);
  programmer_.QueueCommand(SVC_GET_LOCK_COUNT);
  programmer_.QueueCommand(SVC_GET_FUSE_COUNT);
  Reply({0xFD, 2});
  Reply({0xF5, 2});
  Reply({0xF7, 2});
  ASSERT_EQ(Summary(), "FC:0 FC:1 F4:0 F4:1 F6:0 F6:1");
  for (uint8_t op : {SVC_GET_INFO_LINE, SVC_GET_LOCK_NAME, SVC_GET_FUSE_NAME}) {
    SCOPED_TRACE(static_cast<int>(op));
    Ack();
    Ack();  // crossed: the first request goes out twice
    Reply({op, 0, 1, 'a'});
    Ack();                   // sends the second request
    Reply({op, 0, 1, 'a'});  // the first one's twin
    Ack();
    Reply({op, 1, 1, 'b'});
  }
  EXPECT_TRUE(queue_.empty());
  EXPECT_EQ(host_.lines, (std::vector<std::string>{"a", "b"}));
  for (BitKind kind : {BitKind::kLock, BitKind::kFuse}) {
    EXPECT_EQ(programmer_.bits(kind).row(0).caption, "a");
    EXPECT_EQ(programmer_.bits(kind).row(1).caption, "b");
  }
}

TEST_F(ReplyHandlingTest, AboutLinesBeyondTheCountAreIgnored) {
  programmer_.QueueCommand(SVC_GET_INFO_COUNT);
  Reply({0xFD, 1});
  Reply({0xFC, 0, 2, 'v', '1'});
  programmer_.QueueIndexed(SVC_GET_INFO_LINE, 1);
  Reply({0xFC, 1, 2, 'v', '2'});
  EXPECT_EQ(host_.lines, (std::vector<std::string>{"v1"}));
}

}  // namespace
}  // namespace taktm
