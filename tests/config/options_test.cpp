#include "config/options.h"

#include <gtest/gtest.h>

#include <set>

namespace taktm {
namespace {

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

}  // namespace
}  // namespace taktm
