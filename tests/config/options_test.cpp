#include "config/options.h"

#include <gtest/gtest.h>

#include <set>

namespace taktm {
namespace {

TEST(OptionsTest, EveryOptionHasExactlyOnePlaceAndGroupsKeepTheirOrder) {
  std::set<Option> seen;
  for (const OptionPlace& place : kOptionPlaces) {
    EXPECT_TRUE(seen.insert(place.option).second) << OptionNumber(place.option);
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
    flash.push_back(OptionNumber(place.option));
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

// The model starts ticked; a set changes that option alone; overrides change
// only the options they set, so that the rest keep their stored state.
TEST(OptionsTest, ModelAndOverridesChangeOnlyTheOptionsNamed) {
  OptionsModel model;
  for (Option option : kAllOptions) EXPECT_TRUE(model[option]);
  model.SetTicked(Option::kEraseAll, false);
  model.SetTicked(Option::kRewriteFf, false);
  int unticked = 0;
  for (Option option : kAllOptions) unticked += model[option] ? 0 : 1;
  EXPECT_EQ(unticked, 2);
  EXPECT_FALSE(model.Ticked(Option::kEraseAll));
  EXPECT_EQ(OptionValueName(Option::kRewriteFf), "Check13");
  EXPECT_EQ(OptionValueName(Option::kSignatureBeforeErase), "Check10");

  OptionOverrides flags;
  flags[Option::kEraseAll] = true;
  flags[Option::kVerifyEeprom] = false;
  OptionsModel applied = model;
  flags.ApplyTo(&applied);
  EXPECT_TRUE(applied[Option::kEraseAll]);
  EXPECT_FALSE(applied[Option::kVerifyEeprom]);
  EXPECT_FALSE(applied[Option::kRewriteFf]);  // not set: stays
  applied.SetTicked(Option::kEraseAll, false);
  applied.SetTicked(Option::kVerifyEeprom, true);
  EXPECT_EQ(applied, model);
}

}  // namespace
}  // namespace taktm
