// Serial numbers in more forms: big-endian bytes and a counter that moves on
// by a step, from the --serial text to the bytes and the counter file.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "cli/cli_args.h"
#include "cli/serial_counter.h"
#include "cli/serial_stamp.h"
#include "harness/temp_dir.h"

namespace taktm::testing {
namespace {

TEST(SerialFormsTest, ByteOrderAndStepInAnyOrderFromTheRight) {
  std::string error;
  auto serial = [&](const std::string& text) {
    const std::optional<SerialOption> s = ParseSerialOption(text, &error);
    EXPECT_TRUE(s) << text << ": " << error;
    return s.value_or(SerialOption{});
  };
  SerialOption s = serial("0x1FFC:next:be");
  EXPECT_EQ(s.file, "next");
  EXPECT_TRUE(s.big_endian);
  EXPECT_EQ(s.step, 1u);
  EXPECT_EQ(s.width, 4);
  s = serial("0:C:\\line\\next:2:bin:be:step=10");
  EXPECT_EQ(s.file, "C:\\line\\next");
  EXPECT_EQ(s.width, 2);
  EXPECT_TRUE(s.big_endian);
  EXPECT_EQ(s.step, 10u);
  s = serial("0:next:step=5:6:dec");
  EXPECT_EQ(s.step, 5u);
  EXPECT_EQ(s.width, 6);
  EXPECT_EQ(s.format, SerialFormat::kDecimal);
  EXPECT_FALSE(serial("0:next:le").big_endian);
  // A field seen twice ends the options: the rest is the file's name.
  EXPECT_EQ(serial("0:n:be:be").file, "n:be");
  EXPECT_EQ(serial("0:be").file, "be");  // a lone field is the file
  EXPECT_EQ(serial("0:step=2").step, 1u);
  for (const char* bad :
       {"0:n:step=0", "0:n:step=", "0:n:step=x", "0:n:step=-1", "0:n:dec:be"}) {
    EXPECT_FALSE(ParseSerialOption(bad, &error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

TEST(SerialFormsTest, BigEndianBytes) {
  EXPECT_EQ(*EncodeSerial(0x01020304, 4, SerialFormat::kBinary, true),
            (std::vector<uint8_t>{1, 2, 3, 4}));
  EXPECT_EQ(*EncodeSerial(0x01020304, 4, SerialFormat::kBinary),
            (std::vector<uint8_t>{4, 3, 2, 1}));
  EXPECT_EQ(*EncodeSerial(0x0102, 3, SerialFormat::kBinary, true),
            (std::vector<uint8_t>{0, 1, 2}));
  EXPECT_FALSE(EncodeSerial(0x10000, 2, SerialFormat::kBinary, true));
}

TEST(SerialFormsTest, TheCounterMovesOnByItsStep) {
  TempDir dir;
  const std::string counter = dir.File("next");
  std::ofstream(counter) << "100\n";
  EXPECT_EQ(TakeSerial(counter, UINT64_MAX, {}, 10).value, 100u);
  EXPECT_EQ(TakeSerial(counter, UINT64_MAX, {}, 10).value, 110u);
  EXPECT_EQ(PeekCounter(counter).value, 120u);
  // A next value past 64 bits is refused, the counter left alone.
  std::ofstream(counter, std::ios::trunc) << "18446744073709551610\n";
  EXPECT_FALSE(TakeSerial(counter, UINT64_MAX, {}, 10).value);
  EXPECT_EQ(PeekCounter(counter).value, 18446744073709551610u);
  EXPECT_EQ(TakeSerial(counter, UINT64_MAX, {}, 5).value,
            18446744073709551610u);
}

}  // namespace
}  // namespace taktm::testing
