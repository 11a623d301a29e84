// A failed verify's chunk read back and compared: counts, bit directions,
// the listed bytes, the hint, and the read's journey through the queue
// (short replies, a device that stops answering, the image left alone).
#include "programming/mismatch_details.h"

#include "programming/programming_fixture.h"
#include "programming/programming_texts.h"

namespace taktm {
namespace {

using testing::Bytes;
using testing::ProgrammingTest;

constexpr char kErrorAtE0[] =
    "Ошибка по адресу E0. Попробуйте программировать снова!";

TEST(MismatchDetailsTest, CountsBytesAndBitsInBothDirections) {
  // FF/F0: four bits lost; 00/01: one gained; 55/AA: four of each.
  const Bytes image = {0xFF, 0x0F, 0x00, 0x55};
  const Bytes chip = {0xF0, 0x0F, 0x01, 0xAA};
  const MismatchDetails d = CompareBytes(0x100, image.data(), chip.data(), 4);
  EXPECT_EQ(d.differing_bytes, 3u);
  EXPECT_EQ(d.bits_cleared, 8u);
  EXPECT_EQ(d.bits_set, 5u);
  ASSERT_EQ(d.first.size(), 3u);
  EXPECT_EQ(d.first[1].address, 0x102u);
  EXPECT_EQ(d.first[1].expected, 0x00);
  EXPECT_EQ(d.first[1].actual, 0x01);
  EXPECT_FALSE(OnlyClearedBits(d));

  // Ten differences: eight listed, the rest counted.
  const Bytes many_image(12, 0xFF);
  Bytes many_chip(12, 0xFE);
  many_chip[0] = many_chip[5] = 0xFF;
  MismatchDetails m =
      CompareBytes(0xE0, many_image.data(), many_chip.data(), 12);
  m.chunk_length = 224;
  m.read_back = 12;
  EXPECT_EQ(m.differing_bytes, 10u);
  ASSERT_EQ(m.first.size(), kMismatchesListed);
  EXPECT_EQ(m.first.front().address, 0xE1u);
  EXPECT_EQ(m.first.back().address, 0xE9u);  // E5 matched
  EXPECT_TRUE(OnlyClearedBits(m));
  const std::vector<std::string> lines = MismatchLines(m);
  EXPECT_EQ(lines.front(),
            "Блок с адреса E0, длина 224, прочитано из микросхемы 12.");
  EXPECT_EQ(lines[1], "Различающихся байт: 10.");
  EXPECT_EQ(lines[2], "Битов 1→0 (в файле 1, в микросхеме 0): 10.");
  EXPECT_EQ(lines[3], "Битов 0→1 (в файле 0, в микросхеме 1): 0.");
  EXPECT_EQ(lines[4], "E1: в файле FF, в микросхеме FE");
  EXPECT_EQ(lines[lines.size() - 2], "Ещё различающихся байт: 2.");
  EXPECT_EQ(lines.back(), kUnerasedHint);
}

class VerifyReadBackTest : public ProgrammingTest {
 protected:
  void SetUp() override {
    Discover();
    image_.resize(448);
    for (size_t i = 0; i < image_.size(); ++i) {
      image_[i] = static_cast<uint8_t>(i * 7 + 1);
    }
    buffer_.Assign(image_);
    device_.flash = image_;
  }
  Bytes image_;
};

TEST_F(VerifyReadBackTest, TheFailingChunkIsReadBackAsideFromTheImage) {
  image_[230] = image_[300] = 0x07;
  buffer_.Assign(image_);
  device_.flash[230] = 0x00;  // three bits lost
  device_.flash[300] = 0xFF;  // five bits gained
  Choose(OP_VERIFY_FLASH);
  AnswerHead();  // the chip selection
  AnswerHead();  // chunk 0 verifies
  AnswerHead();  // chunk 224 does not
  EXPECT_EQ(programmer_.status_text(), kErrorAtE0);
  // The rest of the run is dropped; the read of that chunk goes next.
  EXPECT_EQ(Summary(), "09@224+224");
  EXPECT_FALSE(programmer_.last_mismatch());
  AnswerAll();
  EXPECT_EQ(programmer_.status_text(), kErrorAtE0);
  EXPECT_TRUE(programmer_.status_error());
  EXPECT_EQ(buffer_.bytes(), image_);  // the chip's bytes went elsewhere
  ASSERT_TRUE(programmer_.last_mismatch());
  const MismatchDetails& d = *programmer_.last_mismatch();
  EXPECT_EQ(d.chunk_address, 224u);
  EXPECT_EQ(d.chunk_length, 224u);
  EXPECT_EQ(d.read_back, 224u);
  EXPECT_EQ(d.differing_bytes, 2u);
  EXPECT_EQ(d.bits_cleared, 3u);
  EXPECT_EQ(d.bits_set, 5u);
  // The verify mismatch's outcome carries the same details.
  EXPECT_EQ(programmer_.outcome().kind, OutcomeKind::kVerifyMismatch);
  EXPECT_EQ(programmer_.outcome().address, 224u);
  ASSERT_TRUE(programmer_.outcome().mismatch);
  EXPECT_EQ(programmer_.outcome().mismatch->differing_bytes, 2u);
  ASSERT_EQ(d.first.size(), 2u);
  EXPECT_EQ(d.first[0].address, 230u);
  EXPECT_EQ(d.first[0].expected, image_[230]);
  EXPECT_EQ(d.first[0].actual, 0x00);
  EXPECT_EQ(d.first[1].address, 300u);

  // The details go with the failure they explain.
  Choose(OP_READ_SIGNATURE);
  EXPECT_FALSE(programmer_.last_mismatch());
}

TEST_F(VerifyReadBackTest, AShortReplyIsFollowedByTheRestOfTheChunk) {
  device_.flash[440] = 0x08;  // image 0x09: one bit lost
  Choose(OP_VERIFY_FLASH);
  for (int i = 0; i < 3; ++i) AnswerHead();
  ASSERT_EQ(Summary(), "09@224+224");
  Bytes part = {OP_READ_FLASH, 224, 0, 0, 0, 100};
  part.insert(part.end(), device_.flash.begin() + 224,
              device_.flash.begin() + 324);
  Reply(part);
  EXPECT_EQ(Summary(), "09@324+124");
  EXPECT_FALSE(programmer_.last_mismatch());
  AnswerAll();
  ASSERT_TRUE(programmer_.last_mismatch());
  const MismatchDetails& d = *programmer_.last_mismatch();
  EXPECT_EQ(d.read_back, 224u);
  EXPECT_EQ(d.differing_bytes, 1u);
  EXPECT_EQ(d.bits_cleared, 1u);
  EXPECT_EQ(d.bits_set, 0u);
  EXPECT_EQ(d.first.at(0).address, 440u);
  EXPECT_EQ(buffer_.bytes(), image_);
}

TEST_F(VerifyReadBackTest, AnEepromChunkIsReadFromTheEeprom) {
  buffer_.Assign(Bytes(224, 0x3C));
  device_.eeprom.assign(224, 0x3C);
  device_.eeprom[5] = 0x3D;
  Choose(OP_VERIFY_EEPROM);
  AnswerHead();
  AnswerHead();
  EXPECT_EQ(Summary(), "0D@0+224");
  AnswerAll();
  ASSERT_TRUE(programmer_.last_mismatch());
  EXPECT_EQ(programmer_.last_mismatch()->bits_set, 1u);
  EXPECT_EQ(programmer_.last_mismatch()->first.at(0).address, 5u);
}

// A device that never answers the read: the retry limit ends it as any
// command, the failure stays shown, and no details are made up.
TEST_F(VerifyReadBackTest, AnUnansweredReadBackEndsAtTheRetryLimit) {
  device_.flash[0] = 0x00;
  Choose(OP_VERIFY_FLASH);
  AnswerHead();
  AnswerHead();
  ASSERT_EQ(Summary(), "09@0+224");
  for (int i = 0; i < 40 && link_.warnings.empty(); ++i) Ack();
  EXPECT_TRUE(queue_.empty());
  EXPECT_EQ(link_.warnings.size(), 1u);
  programmer_.ReportRetryLimit(true);  // as the host would, had it been so
  EXPECT_EQ(programmer_.status_text(),
            "Ошибка по адресу 0. Попробуйте программировать снова!");
  EXPECT_EQ(programmer_.outcome().kind, OutcomeKind::kVerifyMismatch);
  EXPECT_FALSE(programmer_.last_mismatch());
  // The next read fills the buffer as usual.
  Choose(OP_READ_FLASH);
  AnswerAll();
  EXPECT_EQ(buffer_.bytes(), device_.flash);
}

}  // namespace
}  // namespace taktm
