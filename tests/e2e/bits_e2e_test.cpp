// Fuse and lock bits end to end: read into the dialog's rows, edited there,
// written with "Записать", and read back from the chip.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "e2e/e2e_fixture.h"

namespace taktm::testing {
namespace {

using ::testing::ElementsAre;

constexpr int kDemo8K = 2;

std::vector<bool> Ticks(const BitRows& rows) {
  std::vector<bool> ticks;
  for (int i = 0; i < rows.count(); ++i) ticks.push_back(rows.row(i).ticked);
  return ticks;
}

void UntickAll(BitRows& rows) {
  for (int i = 0; i < rows.count(); ++i) rows.SetRowTicked(i, false);
}

using BitsE2eTest = E2eTest;

TEST_F(BitsE2eTest, FuseBitsReadEditWriteAndReadBack) {
  Start();
  ASSERT_NO_FATAL_FAILURE(DiscoverAndSelect(4, kDemo8K));
  BitRows& fuses = programmer().fuse_bits();

  // The factory state: CLK0 1, CLK1 0, BOOT 0, WDT 1, EEPROM 0, reset 1.
  size_t before = LogSize();
  ASSERT_NO_FATAL_FAILURE(Run(OP_READ_FUSES));
  EXPECT_THAT(ReceivedSince(before), ElementsAre("F9 02", "03"));
  EXPECT_TRUE(fuses.shown());
  EXPECT_FALSE(fuses.write_enabled());
  EXPECT_THAT(Ticks(fuses), ElementsAre(true, false, false, true, false, true));

  // The write operation only opens the dialog; the button writes every row.
  ASSERT_NO_FATAL_FAILURE(Run(OP_WRITE_FUSES));
  EXPECT_TRUE(fuses.write_enabled());
  fuses.SetRowTicked(1, true);
  fuses.SetRowTicked(3, false);
  before = LogSize();
  programmer().Button1Click(BitKind::kFuse);
  ASSERT_TRUE(host().RunUntilIdle(kShortWaitMs));
  EXPECT_THAT(ReceivedSince(before),
              ElementsAre("04 00 01", "04 01 01", "04 02 00", "04 03 00",
                          "04 04 00", "04 05 01"));
  EXPECT_FALSE(fuses.shown());
  EXPECT_EQ(ReadBytes(MemoryFile("DEMO-8K.fuses")), (Bytes{1, 1, 0, 0, 0, 1}));

  // A new read shows the chip's bits, not what the rows held.
  UntickAll(fuses);
  ASSERT_NO_FATAL_FAILURE(Run(OP_READ_FUSES));
  EXPECT_THAT(Ticks(fuses), ElementsAre(true, true, false, false, false, true));
}

TEST_F(BitsE2eTest, LockDialogSetsOnlyTheTickedBits) {
  Start();
  ASSERT_NO_FATAL_FAILURE(DiscoverAndSelect(4, kDemo8K));
  BitRows& locks = programmer().lock_bits();

  ASSERT_NO_FATAL_FAILURE(Run(OP_WRITE_LOCKS));
  locks.SetRowTicked(1, true);
  const size_t before = LogSize();
  programmer().Button1Click(BitKind::kLock);
  ASSERT_TRUE(host().RunUntilIdle(kShortWaitMs));
  EXPECT_THAT(ReceivedSince(before), ElementsAre("06 01"));
  EXPECT_EQ(ReadBytes(MemoryFile("DEMO-8K.locks")), (Bytes{0, 1}));

  UntickAll(locks);
  ASSERT_NO_FATAL_FAILURE(Run(OP_READ_LOCKS));
  EXPECT_THAT(Ticks(locks), ElementsAre(false, true));
}

}  // namespace
}  // namespace taktm::testing
