// The sequences queued for each operation and how they end.
#include <algorithm>
#include <functional>

#include "programming/programming_fixture.h"
#include "programming/programming_texts.h"

namespace taktm {
namespace {

using testing::Bytes;
using testing::ProgrammingTest;

class MemoryOperationsTest : public ProgrammingTest {
 protected:
  void SetUp() override {
    Discover();
    host_.file.assign(448, 0x5A);
    host_.file[447] = 0xA5;
  }
  void ChooseAnew(int code) {
    queue_.ClearQueue();
    Choose(code);
  }
};

TEST_F(MemoryOperationsTest, ReadsCutTheMemoryIntoChunks) {
  device_.flash.assign(1000, 0);
  for (size_t i = 0; i < 1000; ++i) device_.flash[i] = static_cast<uint8_t>(i);
  device_.flash_size = 1000;
  programmer_.ListBox1Click(0);
  AnswerAll();
  buffer_.set_modified(true);
  Choose(OP_READ_FLASH);
  EXPECT_EQ(Summary(),
            "F9:0 09@0+224 09@224+224 09@448+224 09@672+224 09@896+104 FF");
  EXPECT_EQ(host_.resizes.back(), 1000u);
  AnswerAll();
  EXPECT_EQ(buffer_.bytes(), device_.flash);
  EXPECT_TRUE(buffer_.modified());  // a read does not touch the flag

  Choose(OP_READ_EEPROM);
  EXPECT_EQ(Summary(), "F9:0 0D@0+224 FF");
}

// A file picked while a read runs replaces the image; the chip's bytes
// still arriving must not be mixed into the file's.
TEST_F(MemoryOperationsTest, AFileLoadedDuringAReadKeepsItsBytes) {
  device_.flash.assign(448, 0x5A);
  programmer_.ListBox1Click(0);
  AnswerAll();
  Choose(OP_READ_FLASH);
  AnswerHead();  // chip selection
  AnswerHead();  // the first chunk lands
  EXPECT_EQ(buffer_.at(0), 0x5A);
  const Bytes file(300, 0x11);
  buffer_.Assign(file);
  AnswerAll();
  EXPECT_EQ(buffer_.bytes(), file);

  Choose(OP_READ_FLASH);  // the next read fills the image again
  AnswerAll();
  EXPECT_EQ(buffer_.bytes(), device_.flash);
}

TEST_F(MemoryOperationsTest, ASizeBeyondTheQueueIsRefused) {
  programmer_.QueueCommand(SVC_GET_FLASH_SIZE);
  Reply({0xF3, 0xFF, 0xFF, 0xFF, 0xFF});
  Choose(OP_READ_FLASH);
  EXPECT_EQ(Summary(), "F9:0");
  EXPECT_TRUE(host_.resizes.empty());
  EXPECT_EQ(programmer_.status_text(), kMemoryTooLarge);
  EXPECT_EQ(programmer_.outcome().kind, OutcomeKind::kMemoryTooLarge);
  EXPECT_TRUE(programmer_.status_error());
}

TEST_F(MemoryOperationsTest, ProgramMemoryWriteWithEachOptionOff) {
  const std::string writes = "0A@0+224 0A@224+224 FF ";
  const std::string verify = "0B@0+224 0B@224+224 FF ";
  const std::string locks = "06:0 06:1 FF";
  const struct {
    int option_off;
    std::string expected;
  } cases[] = {
      {0, "F9:0 00 07 00 " + writes + verify + locks},
      {1, "F9:0 00 07 00 " + writes + verify + locks},
      {10, "F9:0 07 00 " + writes + verify + locks},
      {2, "F9:0 00 00 " + writes + verify + locks},
      {8, "F9:0 00 07 " + writes + verify + locks},
      {3, "F9:0 00 07 00 " + writes + locks},
      {11, "F9:0 00 07 00 " + writes + "0B@0+224 0B@224+224 FF"},
      {13, "F9:0 00 07 00 " + writes + verify + locks},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.option_off);
    host_.options_off = {{c.option_off, true}};
    buffer_.Assign(host_.file);
    buffer_.set_modified(true);
    const int loads = host_.loads;
    ChooseAnew(OP_WRITE_FLASH);
    EXPECT_EQ(Summary(), c.expected);
    EXPECT_EQ(host_.loads - loads, c.option_off == 1 ? 0 : 1);
    EXPECT_EQ(buffer_.modified(), c.option_off == 1);
  }
  EXPECT_TRUE(host_.warnings.empty());
}

TEST_F(MemoryOperationsTest, OptionalStepsTheChipDoesNotAllowAreLeftOut) {
  device_.mask = 1u << OP_WRITE_FLASH | 1u << OP_WRITE_EEPROM;
  device_.lock_bits = 0;
  programmer_.ListBox1Click(0);
  AnswerAll();
  ChooseAnew(OP_WRITE_FLASH);
  EXPECT_EQ(Summary(), "F9:0 0A@0+224 0A@224+224 FF");
  ChooseAnew(OP_WRITE_EEPROM);
  EXPECT_EQ(Summary(), "F9:0 0E@0+224 FF");

  device_.mask = 0x001FFFFF;
  programmer_.ListBox1Click(0);
  AnswerAll();
  ChooseAnew(OP_WRITE_FLASH);  // no lock bits: the SVC_END alone
  EXPECT_EQ(Summary(),
            "F9:0 00 07 00 0A@0+224 0A@224+224 FF 0B@0+224 0B@224+224 FF FF");
}

TEST_F(MemoryOperationsTest, EepromWriteWithEachOptionOff) {
  host_.file.assign(224, 0xFF);  // no 0xFF rule for EEPROM
  const struct {
    int option_off;
    std::string expected;
  } cases[] = {
      {0, "F9:0 00 0C 0E@0+224 FF 0F@0+224 FF"},
      {5, "F9:0 00 0C 0E@0+224 FF 0F@0+224 FF"},
      {9, "F9:0 0C 0E@0+224 FF 0F@0+224 FF"},
      {6, "F9:0 00 0E@0+224 FF 0F@0+224 FF"},
      {7, "F9:0 00 0C 0E@0+224 FF"},
      {13, "F9:0 00 0C 0E@0+224 FF 0F@0+224 FF"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.option_off);
    host_.options_off = {{c.option_off, true}};
    buffer_.Assign(host_.file);
    ChooseAnew(OP_WRITE_EEPROM);
    EXPECT_EQ(Summary(), c.expected);
  }
}

TEST_F(MemoryOperationsTest, AllFFChunksAreSkippedOnlyWhenAsked) {
  host_.file.assign(448, 0xFF);
  host_.file[300] = 0x00;
  host_.options_off = {{13, true}, {11, true}};
  ChooseAnew(OP_WRITE_FLASH);
  EXPECT_EQ(Summary(), "F9:0 00 07 00 0A@224+224 FF 0B@224+224 FF");
  EXPECT_EQ(queue_.entry(4).size(), 230u);  // the chunk goes whole
  ChooseAnew(OP_VERIFY_FLASH);              // verifying alone never skips
  EXPECT_EQ(Summary(), "F9:0 0B@0+224 0B@224+224 FF");
  host_.options_off = {{11, true}};
  ChooseAnew(OP_WRITE_FLASH);
  EXPECT_EQ(Summary(),
            "F9:0 00 07 00 0A@0+224 0A@224+224 FF 0B@0+224 0B@224+224 FF");
}

// Without an erase in the same sequence the chip may hold old bytes where
// the image has 0xFF: every chunk is written and verified then.
TEST_F(MemoryOperationsTest, AllFFChunksAreWrittenWhenNothingErasesFirst) {
  host_.file.assign(448, 0xFF);
  host_.file[300] = 0x00;
  device_.flash.assign(448, 0x3C);  // old contents
  host_.options_off = {{13, true}, {11, true}, {2, true}};
  ChooseAnew(OP_WRITE_FLASH);
  EXPECT_EQ(Summary(),
            "F9:0 00 00 0A@0+224 0A@224+224 FF 0B@0+224 0B@224+224 FF");
  AnswerAll();
  EXPECT_EQ(device_.flash, host_.file);
  EXPECT_EQ(programmer_.status_text(), "Все верно.");

  // A chip whose mask has no erase: the option alone does not skip either.
  device_.flash.assign(448, 0x3C);
  device_.mask &= ~(1u << OP_ERASE_ALL);
  programmer_.ListBox1Click(0);
  AnswerAll();
  host_.options_off = {{13, true}, {11, true}};
  ChooseAnew(OP_WRITE_FLASH);
  EXPECT_EQ(Summary(),
            "F9:0 00 00 0A@0+224 0A@224+224 FF 0B@0+224 0B@224+224 FF");
  AnswerAll();
  EXPECT_EQ(device_.flash, host_.file);
}

// A raw file placed at an offset: the filler below it is neither written
// nor verified, so what the chip holds there (a bootloader) stays.
TEST_F(MemoryOperationsTest, AnImageWithAnOriginStartsItsChunksThere) {
  host_.options_off = {{1, true}, {2, true}, {11, true}};
  device_.flash.assign(448, 0x00);  // the bootloader's bytes
  Bytes image(300, 0xFF);
  image.insert(image.end(), 148, 0x77);
  buffer_.Assign(image, 300);
  ChooseAnew(OP_WRITE_FLASH);
  EXPECT_EQ(Summary(), "F9:0 00 00 0A@300+148 FF 0B@300+148 FF");
  AnswerAll();
  EXPECT_EQ(programmer_.status_text(), "Все верно.");
  EXPECT_EQ(Bytes(device_.flash.begin(), device_.flash.begin() + 300),
            Bytes(300, 0x00));
  ChooseAnew(OP_VERIFY_FLASH);
  EXPECT_EQ(Summary(), "F9:0 0B@300+148 FF");
  buffer_.Resize(10);  // a read replaces the image: from 0 again
  EXPECT_EQ(buffer_.origin(), 0u);
}

// A range: reads and verifies lay their chunks out from its start to its
// end only; a verify also starts no lower than the image's origin.
TEST_F(MemoryOperationsTest, ARangeQueuesOnlyTheChunksInsideIt) {
  device_.flash.assign(1000, 0x11);
  device_.flash_size = 1000;
  programmer_.ListBox1Click(0);
  AnswerAll();
  programmer_.set_range(ChipProgrammer::ChunkRange{100, 500});
  ChooseAnew(OP_READ_FLASH);
  EXPECT_EQ(Summary(), "F9:0 09@100+224 09@324+224 09@548+52 FF");
  EXPECT_EQ(host_.resizes.back(), 1000u);
  // Past the memory's end the range is cut there.
  programmer_.set_range(ChipProgrammer::ChunkRange{900, 400});
  ChooseAnew(OP_READ_FLASH);
  EXPECT_EQ(Summary(), "F9:0 09@900+100 FF");

  buffer_.Assign(Bytes(448, 0x11), 0);
  programmer_.set_range(ChipProgrammer::ChunkRange{200, 1000});
  ChooseAnew(OP_VERIFY_FLASH);
  EXPECT_EQ(Summary(), "F9:0 0B@200+224 0B@424+24 FF");
  AnswerAll();
  EXPECT_EQ(programmer_.status_text(), "Все верно.");
  Bytes image(300, 0xFF);
  image.insert(image.end(), 148, 0x11);
  buffer_.Assign(image, 300);
  programmer_.set_range(ChipProgrammer::ChunkRange{0, 350});
  ChooseAnew(OP_VERIFY_FLASH);
  EXPECT_EQ(Summary(), "F9:0 0B@300+50 FF");
  programmer_.set_range(std::nullopt);
  ChooseAnew(OP_VERIFY_FLASH);
  EXPECT_EQ(Summary(), "F9:0 0B@300+148 FF");
}

TEST_F(MemoryOperationsTest, ImageLargerThanTheChipIsCutWithAWarning) {
  device_.flash_size = 256;
  device_.flash.assign(256, 0xFF);
  programmer_.ListBox1Click(0);
  AnswerAll();
  host_.file.assign(300, 0x11);
  ChooseAnew(OP_WRITE_FLASH);
  EXPECT_EQ(
      host_.warnings,
      (std::vector<std::string>{"Запишу только то, что войдет в микросхему!"}));
  EXPECT_EQ(programmer_.outcome().kind, OutcomeKind::kImageTooLarge);
  EXPECT_EQ(programmer_.outcome().text, host_.warnings[0]);
  EXPECT_EQ(Summary(),
            "F9:0 00 07 00 0A@0+224 0A@224+32 FF 0B@0+224 0B@224+32 FF "
            "06:0 06:1 FF");
  AnswerAll();
  EXPECT_EQ(device_.flash, Bytes(256, 0x11));
  EXPECT_EQ(programmer_.status_text(), "Все верно.");
}

// A reload that gives no image queues nothing, not even the chip selection,
// and leaves the edited buffer and its flag as they were.
TEST_F(MemoryOperationsTest, AFailedReloadQueuesNothingAndKeepsTheEdits) {
  host_.file_loads = false;
  const Bytes edited(300, 0x22);
  buffer_.Assign(edited);
  buffer_.set_modified(true);
  for (int code : {OP_WRITE_FLASH, OP_WRITE_EEPROM}) {
    SCOPED_TRACE(code);
    ChooseAnew(code);
    EXPECT_TRUE(queue_.empty());
    EXPECT_EQ(programmer_.status_text(),
              "Рабочий файл не загружен. Нет такого файла или папки. Запись "
              "отменена!");
    EXPECT_EQ(programmer_.outcome().kind, OutcomeKind::kCancelled);
    EXPECT_TRUE(programmer_.status_error());
    EXPECT_EQ(buffer_.bytes(), edited);
    EXPECT_TRUE(buffer_.modified());
  }
}

TEST_F(MemoryOperationsTest, AnEmptyImageNeverStartsAWriteOrAVerify) {
  host_.file.clear();  // the working file was emptied
  buffer_.Assign(Bytes(10, 1));
  ChooseAnew(OP_WRITE_FLASH);
  EXPECT_TRUE(queue_.empty());
  EXPECT_EQ(programmer_.status_text(), "Рабочий файл пуст. Запись отменена!");
  EXPECT_EQ(buffer_.size(), 10u);

  // Without the reload the buffer itself must hold something.
  host_.options_off = {{1, true}, {5, true}};
  buffer_.Clear();
  const struct {
    int code;
    const char* status;
  } cases[] = {
      {OP_WRITE_FLASH, "Буфер пуст. Запись отменена!"},
      {OP_WRITE_EEPROM, "Буфер пуст. Запись отменена!"},
      {OP_VERIFY_FLASH, "Буфер пуст. Сверка отменена!"},
      {OP_VERIFY_EEPROM, "Буфер пуст. Сверка отменена!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    ChooseAnew(c.code);
    EXPECT_TRUE(queue_.empty());
    EXPECT_EQ(programmer_.status_text(), c.status);
    EXPECT_EQ(programmer_.outcome().kind, OutcomeKind::kCancelled);
    EXPECT_EQ(programmer_.outcome().text, c.status);
    EXPECT_TRUE(programmer_.status_error());
  }
}

TEST_F(MemoryOperationsTest, ASignatureFailingDuringTheWarningStopsTheWrite) {
  host_.file.assign(600, 0x11);
  device_.signature_verdict = 0;
  host_.on_warning = [this] { AnswerAll(); };  // the link runs meanwhile
  ChooseAnew(OP_WRITE_FLASH);
  EXPECT_TRUE(queue_.empty());
  EXPECT_EQ(programmer_.status_text(), "Сигнатура: 1E 95 F не верна!");
  EXPECT_EQ(programmer_.outcome().kind, OutcomeKind::kSignatureWrong);
  EXPECT_EQ(device_.flash, Bytes(448, 0xFF));  // never erased nor written

  device_.signature_verdict = 1;  // good answers during the box: goes on
  ChooseAnew(OP_WRITE_FLASH);
  EXPECT_EQ(Summary(),
            "0A@0+224 0A@224+224 FF 0B@0+224 0B@224+224 FF "
            "06:0 06:1 FF");
}

TEST_F(MemoryOperationsTest, AllRightOnlyWhenTheVerifyRunHasCompleted) {
  ChooseAnew(OP_WRITE_FLASH);
  EXPECT_EQ(programmer_.status_text(), "");
  EXPECT_EQ(programmer_.outcome().kind, OutcomeKind::kNone);
  AnswerAll(5);  // selection, signature, erase, signature, first write
  EXPECT_EQ(programmer_.status_text(), "Сигнатура: 1E 95 F верна");
  AnswerAll(4);  // up to the last verify reply
  EXPECT_EQ(programmer_.status_text(), "Сигнатура: 1E 95 F верна");
  EXPECT_EQ(programmer_.outcome().kind, OutcomeKind::kSignatureRight);
  AnswerHead();  // the SVC_END closing the verify chunks
  EXPECT_EQ(programmer_.status_text(), "Все верно.");
  EXPECT_EQ(programmer_.outcome().kind, OutcomeKind::kAllRight);
  AnswerAll();
  EXPECT_EQ(programmer_.status_text(), "Все верно.");
  EXPECT_EQ(device_.flash, host_.file);

  Choose(OP_VERIFY_FLASH);  // an earlier success does not stand for this run
  EXPECT_EQ(programmer_.status_text(), "");
  EXPECT_EQ(programmer_.outcome().kind, OutcomeKind::kNone);
  AnswerAll();
  EXPECT_EQ(programmer_.status_text(), "Все верно.");

  buffer_.Clear();  // nothing to compare: no success claimed
  Choose(OP_VERIFY_FLASH);
  AnswerAll();
  EXPECT_EQ(programmer_.status_text(), "Буфер пуст. Сверка отменена!");
}

TEST_F(MemoryOperationsTest, AWriteThatDidNotTakeFailsAtItsChunk) {
  device_.stuck_address = 300;
  host_.file.assign(448, 0x00);
  host_.options_off = {{2, true}};
  ChooseAnew(OP_WRITE_FLASH);
  AnswerAll();
  EXPECT_EQ(programmer_.status_text(),
            "Ошибка по адресу E0. Попробуйте программировать снова!");
  EXPECT_EQ(programmer_.outcome().kind, OutcomeKind::kVerifyMismatch);
  EXPECT_EQ(programmer_.outcome().address, 0xE0u);
  EXPECT_TRUE(programmer_.status_error());
  EXPECT_TRUE(queue_.empty());  // lock bits and SVC_END dropped

  Choose(OP_ERASE_EEPROM);  // the next operation restores the colour
  EXPECT_FALSE(programmer_.status_error());
  EXPECT_EQ(Summary(), "F9:0 0C");
}

TEST_F(MemoryOperationsTest, AVerifyCutShortNeverReadsAllRight) {
  buffer_.Assign(host_.file);
  device_.flash = host_.file;  // every verify reply would be good
  ChooseAnew(OP_VERIFY_FLASH);
  AnswerAll(2);
  // Acknowledgements, the reply never comes: the command goes out eight
  // times, at every second acknowledgement.
  for (int i = 0; i < 40 && link_.warnings.empty(); ++i) {
    const Bytes ack = testing::Ack();
    parser_.Comm321ReceiveData(ack.data(), ack.size());
  }
  EXPECT_TRUE(queue_.empty());
  EXPECT_EQ(link_.warnings.size(), 1u);
  EXPECT_FALSE(programmer_.status_error());
  Choose(OP_READ_EEPROM);  // its SVC_END is not the verify run's
  AnswerAll();
  EXPECT_EQ(programmer_.status_text(), "");

  Choose(OP_VERIFY_EEPROM);
  AnswerAll(2);
  programmer_.Timer2Timer();
  EXPECT_EQ(programmer_.outcome().kind, OutcomeKind::kDeviceLost);
  EXPECT_EQ(programmer_.outcome().text, kNotConnectedCaption);
  AnswerAll();
  EXPECT_EQ(programmer_.status_text(), "");
  EXPECT_EQ(programmer_.outcome().kind, OutcomeKind::kDeviceLost);
}

TEST_F(MemoryOperationsTest, SingleCommandsAndCodesWithoutASequence) {
  programmer_.SetStatusText("old");
  Choose(OP_ERASE_EEPROM);
  EXPECT_EQ(programmer_.status_text(), "old");
  Choose(OP_ERASE_ALL);
  Choose(OP_READ_SIGNATURE);
  Choose(OP_READ_CALIBRATION);
  Choose(OP_ERASE_FLASH);
  programmer_.ListBox2Click(1, -1);
  EXPECT_EQ(Summary(), "F9:0 0C F9:0 07 F9:0 00 F9:0 14 F9:0 F9:1");
  EXPECT_EQ(programmer_.status_text(), "");
}

// The operation is named by its code: the list's rows of a chip that offers
// only some operations are not where the codes would put them.
TEST_F(MemoryOperationsTest, RunOperationFindsTheOperationByItsCode) {
  device_.mask =
      1u << OP_READ_FLASH | 1u << OP_ERASE_EEPROM | 1u << OP_READ_CALIBRATION;
  programmer_.SelectChip(0);
  AnswerAll();
  ASSERT_EQ(programmer_.operation_rows().size(), 3u);
  programmer_.RunOperation(0, OP_READ_CALIBRATION);
  EXPECT_EQ(Summary(), "F9:0 14");
  queue_.ClearQueue();
  programmer_.ListBox2Click(0, 2);  // the window's row of the same operation
  EXPECT_EQ(Summary(), "F9:0 14");
  queue_.ClearQueue();
  // One the chip does not offer (or none) only selects the chip again.
  programmer_.RunOperation(0, OP_WRITE_FLASH);
  programmer_.RunOperation(0, -1);
  EXPECT_EQ(Summary(), "F9:0 F9:0");
}

// Every new request clears the outcome, announced once, so that an earlier
// run's verdict is never read as this one's; a loss sets its own.
TEST_F(MemoryOperationsTest, EachNewRequestClearsTheOutcome) {
  const std::function<void()> requests[] = {
      [&] { programmer_.StartDiscovery(); },
      [&] { programmer_.SelectChip(0); },
      [&] { programmer_.RunOperation(0, OP_ERASE_ALL); },
      [&] { programmer_.WriteBits(BitKind::kLock); },
  };
  for (const auto& request : requests) {
    ChooseAnew(OP_WRITE_LOCKS);  // its dialog, for WriteBits
    ChooseAnew(OP_READ_SIGNATURE);
    AnswerAll();
    ASSERT_EQ(programmer_.outcome().kind, OutcomeKind::kSignatureRight);
    host_.changes.clear();
    request();
    EXPECT_EQ(programmer_.outcome().kind, OutcomeKind::kNone);
    EXPECT_EQ(programmer_.outcome().text, "");
    EXPECT_EQ(std::count(host_.changes.begin(), host_.changes.end(),
                         Aspect::kOutcome),
              1);
    host_.changes.clear();
    request();  // already cleared: nothing to announce
    EXPECT_EQ(std::count(host_.changes.begin(), host_.changes.end(),
                         Aspect::kOutcome),
              0);
  }
  programmer_.DeviceLost();
  EXPECT_EQ(programmer_.outcome().kind, OutcomeKind::kDeviceLost);
  EXPECT_FALSE(programmer_.DeviceFound());
}

TEST_F(MemoryOperationsTest, BitDialogsShowAndWrite) {
  Choose(OP_WRITE_FUSES);
  EXPECT_EQ(Summary(), "F9:0");
  EXPECT_TRUE(programmer_.fuse_bits().shown());
  EXPECT_TRUE(programmer_.fuse_bits().write_enabled());

  ChooseAnew(OP_READ_FUSES);
  EXPECT_EQ(Summary(), "F9:0 03");
  EXPECT_FALSE(programmer_.fuse_bits().write_enabled());
  programmer_.Button1Click(BitKind::kFuse);  // disabled: not reached
  EXPECT_EQ(queue_.count(), 2u);
  AnswerAll();
  EXPECT_TRUE(programmer_.fuse_bits().row(0).ticked);
  EXPECT_FALSE(programmer_.fuse_bits().row(1).ticked);

  Choose(OP_WRITE_FUSES);
  AnswerAll();
  programmer_.fuse_bits().SetRowTicked(0, false);
  programmer_.fuse_bits().SetRowTicked(1, true);
  programmer_.fuse_bits().SetRowTicked(2, false);
  programmer_.Button1Click(BitKind::kFuse);
  EXPECT_EQ(Queued(),
            (std::vector<Bytes>{{0x04, 0, 0}, {0x04, 1, 1}, {0x04, 2, 0}}));
  EXPECT_FALSE(programmer_.fuse_bits().shown());
  EXPECT_TRUE(programmer_.fuse_bits().row(1).ticked);  // hiding keeps ticks

  ChooseAnew(OP_WRITE_LOCKS);
  AnswerAll();
  programmer_.lock_bits().RebuildRows(3);
  programmer_.lock_bits().SetRowTicked(0, true);
  programmer_.lock_bits().SetRowTicked(2, true);
  programmer_.Button1Click(BitKind::kLock);
  EXPECT_EQ(Queued(), (std::vector<Bytes>{{0x06, 0}, {0x06, 2}}));
  EXPECT_FALSE(programmer_.lock_bits().shown());

  ChooseAnew(OP_WRITE_LOCKS);
  AnswerAll();
  programmer_.lock_bits().RebuildRows(0);
  programmer_.Button1Click(BitKind::kLock);
  EXPECT_TRUE(queue_.empty());
  EXPECT_FALSE(programmer_.lock_bits().shown());
}

}  // namespace
}  // namespace taktm
