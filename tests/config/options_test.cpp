#include "config/options.h"

#include <gtest/gtest.h>

#include <set>

#include "config/parity.h"

namespace taktm {
namespace {

TEST(ParityMappingTest, EachIndexGivesTheTablesParityCrossingsIncluded) {
  EXPECT_EQ(ParityCodeForIndex(0), kParityCodeNone);
  EXPECT_EQ(ParityCodeForIndex(1), kParityCodeOdd);    // "Чет"
  EXPECT_EQ(ParityCodeForIndex(2), kParityCodeEven);   // "Нечет"
  EXPECT_EQ(ParityCodeForIndex(3), kParityCodeSpace);  // "0"
  EXPECT_EQ(ParityCodeForIndex(4), kParityCodeMark);   // "1"
  for (int other : {-1, 5, 7, -2147483647 - 1, 2147483647}) {
    EXPECT_EQ(ParityCodeForIndex(other), std::nullopt) << other;
  }
}

TEST(OptionsTest, ValueNamesAreCheck1ToCheck13) {
  EXPECT_EQ(OptionValueName(1), "Check1");
  EXPECT_EQ(OptionValueName(13), "Check13");
  EXPECT_EQ(OptionValueName(0), "");
  EXPECT_EQ(OptionValueName(14), "");
}

TEST(OptionsTest, EveryOptionHasExactlyOnePlaceAndGroupsKeepTheirOrder) {
  std::set<int> seen;
  for (const OptionPlace& place : kOptionPlaces) {
    EXPECT_TRUE(seen.insert(place.option).second) << place.option;
    EXPECT_EQ(FindOptionPlace(place.option), &place);
  }
  EXPECT_EQ(seen.size(), 13u);
  EXPECT_EQ(FindOptionPlace(0), nullptr);

  // Program memory writes: before (1, 10, 2, 8), after (3, 11), additional
  // (13); the headings never come back once left.
  std::vector<int> flash;
  std::vector<OptionHeading> headings;
  for (const OptionPlace& place : kOptionPlaces) {
    if (place.group != OptionGroup::kProgramWrite) continue;
    flash.push_back(place.option);
    if (headings.empty() || headings.back() != place.heading) {
      headings.push_back(place.heading);
    }
  }
  EXPECT_EQ(flash, (std::vector<int>{1, 10, 2, 8, 3, 11, 13}));
  EXPECT_EQ(headings, (std::vector<OptionHeading>{OptionHeading::kBeforeWrite,
                                                  OptionHeading::kAfterWrite,
                                                  OptionHeading::kAdditional}));
  EXPECT_STREQ(FindOptionPlace(2)->caption, "стирать все");
  EXPECT_STREQ(FindOptionPlace(4)->caption, "понимать HEX-файлы");
  EXPECT_EQ(FindOptionPlace(12)->group, OptionGroup::kFileFormats);
}

TEST(OptionsTest, AnyNonZeroStoredValueIsTickedAndATickIsStoredAsOne) {
  EXPECT_TRUE(OptionTickedFromStored(5));
  EXPECT_TRUE(OptionTickedFromStored(-1));
  EXPECT_FALSE(OptionTickedFromStored(0));
  EXPECT_EQ(StoredFromOptionTicked(true), 1);
  EXPECT_EQ(StoredFromOptionTicked(false), 0);
}

}  // namespace
}  // namespace taktm
