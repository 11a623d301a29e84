#include <gtest/gtest.h>

#include "widgets/error_report_text.h"
#include "widgets/int_text.h"

namespace taktm {
namespace {

TEST(ErrorReportTextTest, PeriodOnlyAfterCharactersThatSortAfterIt) {
  EXPECT_EQ(WithFinalPeriod("Задан не COM-порт"), "Задан не COM-порт.");
  EXPECT_EQ(WithFinalPeriod("Невозможно открыть порт!"),
            "Невозможно открыть порт!");
  EXPECT_EQ(WithFinalPeriod("Write thread"), "Write thread.");
  EXPECT_EQ(WithFinalPeriod("value 5"), "value 5.");
  EXPECT_EQ(WithFinalPeriod("done."), "done.");
  EXPECT_EQ(WithFinalPeriod("(see above)"), "(see above)");
  EXPECT_EQ(WithFinalPeriod(""), "");
}

TEST(IntTextTest, AcceptsSignsDigitsAndControlCharactersOnly) {
  for (char32_t c : {U'0', U'9', U'+', U'-', U'\b', U'\r', char32_t{31}}) {
    EXPECT_TRUE(IsIntEditChar(c)) << static_cast<int>(c);
  }
  for (char32_t c : {U'a', U'Z', U' ', U'.', U',', U'e', U'Ч', char32_t{127}}) {
    EXPECT_FALSE(IsIntEditChar(c)) << static_cast<int>(c);
  }
}

TEST(IntTextTest, ParsesSigned32BitNumbersAndNothingElse) {
  EXPECT_EQ(ParseInt32("56000"), 56000);
  EXPECT_EQ(ParseInt32("-5"), -5);
  EXPECT_EQ(ParseInt32("+7"), 7);
  EXPECT_EQ(ParseInt32("007"), 7);
  EXPECT_EQ(ParseInt32("2147483647"), 2147483647);
  EXPECT_EQ(ParseInt32("-2147483648"), -2147483647 - 1);
  for (const char* bad :
       {"", "-", "+", "2147483648", "-2147483649", "99999999999999999999",
        "1-2", "00-5", " 5", "5 ", "0x10", "--1", "12a"}) {
    EXPECT_EQ(ParseInt32(bad), std::nullopt) << bad;
    EXPECT_EQ(Int32OrZero(bad), 0) << bad;
  }
}

TEST(IntTextTest, PadsWithZerosInFrontEvenOfTheSign) {
  EXPECT_EQ(PaddedInt(7, 3), "007");
  EXPECT_EQ(PaddedInt(12345, 3), "12345");
  EXPECT_EQ(PaddedInt(-5, 4), "00-5");
  EXPECT_EQ(PaddedInt(0, 0), "0");
  EXPECT_EQ(PaddedInt(-2147483647 - 1, 0), "-2147483648");
}

}  // namespace
}  // namespace taktm
