// The settings store hands its problems to its caller, in order and at the
// moment it meets them, and shows nothing itself.
#include "config/settings_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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

// A store file that is a pipe, or far too large, is never opened: the store
// says so once, every value reads as missing, and the file is left as it
// is (a write would replace it).
TEST_F(SettingsStoreTest, AStoreThatIsNoFileOfSaneSizeIsNotRead) {
  for (const bool org_file : {false, true}) {
    for (const bool fifo : {true, false}) {
      // A folder of its own: the store says it once per file.
      QTemporaryDir home;
      QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                         home.path());
      const QString folder = home.filePath(kStoreOrganisation);
      ASSERT_TRUE(QDir().mkpath(folder));
      const QString path = org_file
                               ? folder + QStringLiteral(".conf")
                               : folder + QLatin1Char('/') + kStoreApplication +
                                     QStringLiteral(".conf");
      SCOPED_TRACE(path.toStdString());
      if (fifo) {
        ASSERT_EQ(::mkfifo(path.toLocal8Bit().constData(), 0600), 0);
      } else {
        QFile big(path);
        ASSERT_TRUE(big.open(QIODevice::WriteOnly));
        ASSERT_TRUE(big.resize(int64_t{1} << 30));  // sparse: 1 GiB of nothing
      }
      problems_.clear();
      {
        SettingsStore store(Sink());
        ASSERT_EQ(problems_.size(), 1);
        EXPECT_EQ(problems_[0], QStringLiteral("Хранилище настроек %1 не "
                                               "читается; действуют значения "
                                               "по умолчанию")
                                    .arg(path));
        QString port;
        EXPECT_EQ(store.ReadString("ComPort", &port), StoreRead::kMissing);
        store.WriteString("ComPort", "/dev/ttyUSB1");  // the first-run write
      }
      EXPECT_EQ(problems_.size(), 1);  // said once, not again for the write
      {
        SettingsStore store(Sink());
        store.WriteInt("Bitrate", 9600);
      }
      ASSERT_EQ(problems_.size(), 2);  // a later write is refused aloud
      EXPECT_TRUE(problems_[1].contains("Bitrate"))
          << problems_[1].toStdString();
      const QFileInfo after(path);
      EXPECT_EQ(after.isFile(), !fifo);
      if (!fifo) {
        EXPECT_EQ(after.size(), int64_t{1} << 30);
      }
    }
  }
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                     dir_.path());
}

}  // namespace
}  // namespace taktm
