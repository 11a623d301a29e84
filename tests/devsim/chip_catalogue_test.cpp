#include "chip_catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "programming/cp1251.h"

namespace taktm::devsim {
namespace {

TEST(Cp1251Test, EveryAssignedByteSurvivesDecodeThenEncode) {
  for (int b = 0; b < 256; ++b) {
    if (b == 0x98) continue;  // the one unassigned code
    const uint8_t byte = static_cast<uint8_t>(b);
    std::string back;
    ASSERT_TRUE(EncodeCp1251(DecodeCp1251(&byte, 1), back)) << b;
    EXPECT_EQ(back, std::string(1, static_cast<char>(byte))) << b;
  }
}

TEST(Cp1251Test, EncodesRussianAndRejectsWhatTheCodePageLacks) {
  std::string out;
  ASSERT_TRUE(EncodeCp1251("Аая ЁёЇ№ €—", out));
  EXPECT_EQ(out, "\xC0\xE0\xFF\x20\xA8\xB8\xAF\xB9\x20\x88\x97");
  EXPECT_FALSE(EncodeCp1251("中", out));
  EXPECT_FALSE(EncodeCp1251("\xD0", out));      // cut short
  EXPECT_FALSE(EncodeCp1251("\xD0\x41", out));  // bad continuation
  EXPECT_FALSE(EncodeCp1251("\xFF", out));
}

TEST(ChipCatalogueTest, BuiltInCatalogueCoversTheCasesTestsNeed) {
  const Catalogue c = BuiltInCatalogue();
  std::string error;
  ASSERT_TRUE(ValidateCatalogue(c, error)) << error;
  ASSERT_GE(c.chips.size(), 4u);
  const auto any = [&](auto pred) {
    return std::any_of(c.chips.begin(), c.chips.end(), pred);
  };
  EXPECT_TRUE(any([](const ChipSpec& s) { return s.flash_size == 1000; }));
  EXPECT_TRUE(any([](const ChipSpec& s) { return s.flash_size >= 131072; }));
  EXPECT_TRUE(any([](const ChipSpec& s) { return !s.Allows(7); }));
  EXPECT_TRUE(any([](const ChipSpec& s) { return !s.Allows(11); }));
  EXPECT_TRUE(any(
      [](const ChipSpec& s) { return s.locks.empty() && s.fuses.empty(); }));
  EXPECT_TRUE(any([](const ChipSpec& s) {
    return s.operations == 0x0010FEF9u;  // 0, 3-7, 9-15, 20
  }));
  std::string encoded;
  EncodeCp1251(c.about_lines[0], encoded);
  EXPECT_TRUE(std::any_of(encoded.begin(), encoded.end(), [](char ch) {
    return static_cast<uint8_t>(ch) >= 0xC0;
  }));
}

TEST(ChipCatalogueTest, ParsesTheTextFormat) {
  Catalogue c;
  std::string error;
  ASSERT_TRUE(ParseCatalogue(R"(# test catalogue
device Стенд
about Первая строка
about second line

chip DEMO-2K
flash 0x800
eeprom 128
operations 0 9 10 11
signature 5a 02 0x07
calibration A0
f1 4096
lock Запрет чтения
fuse 1 CLK
fuse 0 WDT
chip TINY
flash 16
signature 01
)",
                             c, error))
      << error;
  EXPECT_EQ(c.device_name, "Стенд");
  EXPECT_EQ(c.about_lines,
            (std::vector<std::string>{"Первая строка", "second line"}));
  ASSERT_EQ(c.chips.size(), 2u);
  const ChipSpec& chip = c.chips[0];
  EXPECT_EQ(chip.name, "DEMO-2K");
  EXPECT_EQ(chip.flash_size, 2048u);
  EXPECT_EQ(chip.eeprom_size, 128u);
  EXPECT_EQ(chip.operations, 0x0E01u);
  EXPECT_EQ(chip.signature, (std::vector<uint8_t>{0x5A, 0x02, 0x07}));
  EXPECT_EQ(chip.calibration, (std::vector<uint8_t>{0xA0}));
  EXPECT_EQ(chip.size_f1, 4096u);
  ASSERT_EQ(chip.locks.size(), 1u);
  EXPECT_EQ(chip.locks[0].name, "Запрет чтения");
  ASSERT_EQ(chip.fuses.size(), 2u);
  EXPECT_EQ(chip.fuses[0].factory_state, 1);
  EXPECT_EQ(chip.fuses[1].name, "WDT");
  EXPECT_EQ(c.chips[1].eeprom_size, 0u);
  EXPECT_EQ(c.chips[1].operations, 0u);
}

TEST(ChipCatalogueTest, ReportsTheFaultyLine) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"flash 10\n", "line 1: \"flash\" before the first chip"},
      {"chip A\nsignature 01\nsize 3\n", "line 3: unknown key \"size\""},
      {"chip A\nflash -1\n", "line 2: flash needs a size"},
      {"chip A\nflash 99999999999\n", "line 2: flash needs a size"},
      {"chip A\noperations 3 32\n", "line 2: operation codes"},
      {"chip A\nsignature 1G\n", "line 2: signature needs hexadecimal bytes"},
      {"chip A\nfuse 2 X\n", "line 2: fuse needs its factory state"},
      {"chip A\nfuse 1\n", "line 2: fuse needs its factory state"},
      {"chip\n", "line 1: chip needs a name"},
      {"chip A\n", "chip \"A\": needs 1 to 252 signature bytes"},
      {"chip 中\nsignature 01\n",
       "chip name \"中\" cannot be written in Windows-1251"},
      {"chip A/B\nsignature 01\nchip A:B\nsignature 02\n",
       "chip \"A:B\": name clashes"},
  };
  for (const auto& [text, message] : cases) {
    Catalogue c;
    std::string error;
    EXPECT_FALSE(ParseCatalogue(text, c, error)) << text;
    EXPECT_EQ(error.rfind(message, 0), 0u) << error;
  }
  Catalogue c;
  std::string error;
  EXPECT_FALSE(LoadCatalogueFile("/nonexistent/chips.txt", c, error));
  EXPECT_EQ(error, "cannot read /nonexistent/chips.txt");
}

TEST(ChipCatalogueTest, FileStemsAreSafeAndDistinct) {
  EXPECT_EQ(FileStem("DEMO-8K"), "DEMO-8K");
  EXPECT_EQ(FileStem("a/b c"), "a_b_c");
  EXPECT_EQ(FileStem("Ф"), "D0A4");
  EXPECT_EQ(FileStem(".."), "_..");
}

}  // namespace
}  // namespace taktm::devsim
