// The command line reads the window's settings store: what the settings
// dialog stores is what the command line uses, and nothing is written back.
#include "cli/stored_settings.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>

#include "config/default_port.h"
#include "config/options.h"

namespace taktm {
namespace {

class StoredSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       dir_.path());
    SetDeviceFolder(dir_.filePath("dev").toStdString());
  }
  void TearDown() override { SetDeviceFolder("/dev"); }
  // The store as the settings dialog writes it.
  QSettings Store() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope,
                     kStoreOrganisation, kStoreApplication);
  }
  QTemporaryDir dir_;
};

TEST_F(StoredSettingsTest, FirstRunDefaultsAndNothingWritten) {
  const StoredSettings s = ReadStoredSettings();
  EXPECT_EQ(s.port.port, QString::fromStdString(DefaultComPort()));
  EXPECT_EQ(s.port.baud, 56000u);
  EXPECT_EQ(s.port.parity_index, -1);
  for (Option n : kAllOptions) EXPECT_TRUE(s.options[n]) << OptionNumber(n);
  EXPECT_TRUE(s.problems.empty());
  EXPECT_TRUE(Store().allKeys().isEmpty());
}

TEST_F(StoredSettingsTest, StoredValuesThenTheCommandLinesOverrides) {
  {
    QSettings store = Store();
    store.setValue("ComPort", "/dev/ttyUSB3");
    store.setValue("Bitrate", 115200);
    store.setValue("Parity", 4);
    store.setValue("Check2", 0);
    store.setValue("Check7", 5);  // any non-zero value is ticked
    store.setValue("Check13", 0);
  }
  StoredSettings s = ReadStoredSettings();
  EXPECT_EQ(s.port.port, "/dev/ttyUSB3");
  EXPECT_EQ(s.port.baud, 115200u);
  EXPECT_EQ(s.port.parity_index, 4);
  EXPECT_FALSE(s.options[Option::kEraseAll]);
  EXPECT_TRUE(s.options[Option::kVerifyEeprom]);
  EXPECT_FALSE(s.options[Option::kRewriteFf]);

  CliOptions options;
  options.port = "/dev/pts/9";
  options.parity_index = 0;
  options.option_flags[Option::kEraseAll] = true;
  options.option_flags[Option::kVerifyFlash] = false;
  s = ApplyOverrides(s, options);
  EXPECT_EQ(s.port.port, "/dev/pts/9");
  EXPECT_EQ(s.port.baud, 115200u);  // not overridden
  EXPECT_EQ(s.port.parity_index, 0);
  EXPECT_TRUE(s.options[Option::kEraseAll]);
  EXPECT_FALSE(s.options[Option::kVerifyFlash]);
  EXPECT_FALSE(s.options[Option::kRewriteFf]);
}

TEST_F(StoredSettingsTest, UnusableValuesAreNamedAndSkipped) {
  {
    QSettings store = Store();
    store.setValue("Bitrate", "fast");
    store.setValue("Check4", "yes");
    store.setValue("ComPort", QStringList{"a", "b"});
  }
  const StoredSettings s = ReadStoredSettings();
  EXPECT_EQ(s.port.baud, 56000u);
  EXPECT_TRUE(s.options[Option::kReadHexFiles]);
  EXPECT_EQ(s.port.port, QString::fromStdString(DefaultComPort()));
  ASSERT_EQ(s.problems.size(), 3u);
  EXPECT_NE(s.problems[0].find("\"ComPort\""), std::string::npos);
  EXPECT_NE(s.problems[1].find("\"Bitrate\""), std::string::npos);
  EXPECT_NE(s.problems[2].find("\"Check4\""), std::string::npos);
}

}  // namespace
}  // namespace taktm
