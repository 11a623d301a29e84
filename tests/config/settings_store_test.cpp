// The settings store hands its problems to its caller, in order and at the
// moment it meets them, and shows nothing itself.
#include "config/settings_store.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

#include "widgets/error_report.h"

namespace taktm {
namespace {

class SettingsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       dir_.path());
    // A box the store opened would land here instead of blocking.
    previous_ = SetErrorReporter(
        [this](QWidget*, const QString& text) { boxes_ << text; });
  }
  void TearDown() override {
    SetErrorReporter(previous_);
    EXPECT_TRUE(boxes_.isEmpty()) << boxes_.join("\n").toStdString();
  }
  StoreProblemSink Sink() {
    return [this](const QString& problem) { problems_ << problem; };
  }
  static QSettings Raw() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope,
                     kStoreOrganisation, kStoreApplication);
  }

  QTemporaryDir dir_;
  QStringList problems_;
  QStringList boxes_;
  ErrorReporter previous_;
};

TEST_F(SettingsStoreTest, WrongTypesAreReportedAsTheyAreRead) {
  {
    QSettings raw = Raw();
    raw.setValue("Bitrate", "fast");
    raw.setValue("Check2", 0);
    raw.setValue("Check4", "yes");
    raw.setValue("Check7", 5);
  }
  SettingsStore store(Sink());
  int32_t bitrate = 1;
  EXPECT_EQ(store.ReadInt("Bitrate", &bitrate), StoreRead::kWrongType);
  EXPECT_EQ(bitrate, 1);
  ASSERT_EQ(problems_.size(), 1);  // reported at once, before the next read
  EXPECT_TRUE(problems_[0].contains("\"Bitrate\""))
      << problems_[0].toStdString();
  EXPECT_TRUE(problems_[0].contains(store.Location()));
  QString port;
  EXPECT_EQ(store.ReadString("ComPort", &port), StoreRead::kMissing);

  OptionsModel options;
  store.ReadOptions(&options);
  EXPECT_FALSE(options[Option::kEraseAll]);
  EXPECT_TRUE(options[Option::kReadHexFiles]);  // unusable: left as it was
  EXPECT_TRUE(options[Option::kVerifyEeprom]);  // any non-zero is ticked
  ASSERT_EQ(problems_.size(), 2);
  EXPECT_TRUE(problems_[1].contains("\"Check4\""));

  // The options go back as 1 or 0, all thirteen.
  store.WriteOptions(options);
  store.Close();
  EXPECT_EQ(problems_.size(), 2);
  QSettings raw = Raw();
  EXPECT_EQ(raw.value("Check7").toInt(), 1);
  EXPECT_EQ(raw.value("Check2").toInt(), 0);
  EXPECT_EQ(raw.value("Check4").toInt(), 1);
  EXPECT_EQ(raw.value("Check13").toInt(), 1);
}

TEST_F(SettingsStoreTest, AStoreThatCannotBeParsedOrWrittenIsReported) {
  {
    const QString path = Raw().fileName();
    QFile file(path);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[General\nBitrate=115200\n");  // the section never closes
  }
  {
    SettingsStore store(Sink());
    ASSERT_EQ(problems_.size(), 1);
    EXPECT_TRUE(problems_[0].contains(store.Location()));
    EXPECT_TRUE(problems_[0].contains("повреждено"));
  }
  problems_.clear();

  // A file where the store's folder would go refuses every write.
  QTemporaryDir other;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                     other.path());
  QFile blocker(other.filePath(kStoreOrganisation));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  SettingsStore store(Sink());
  store.WriteString("ComPort", "/dev/ttyUSB1");
  store.WriteInt("Bitrate", 9600);
  EXPECT_TRUE(problems_.isEmpty());  // nothing reported before the close
  store.Close();
  ASSERT_EQ(problems_.size(), 1);
  EXPECT_TRUE(problems_[0].contains("ComPort, Bitrate"))
      << problems_[0].toStdString();
  store.Close();  // once only
  EXPECT_EQ(problems_.size(), 1);
}

}  // namespace
}  // namespace taktm
