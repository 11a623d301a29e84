// The main window's question for a file whose name says raw bytes but whose
// content is Intel HEX, S-record or ELF: the real message box, answered by
// the test with each of its buttons; and the S-record and ELF names, which
// load as their format without a question.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <fstream>
#include <string>
#include <vector>

#include "buffer/intel_hex_writer.h"
#include "buffer/srec.h"
#include "support/recording_comm32.h"
#include "ui/main_window.h"

namespace taktm {
namespace {

using Bytes = std::vector<uint8_t>;

class FormatQuestionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       dir_.path());
    QCoreApplication::setOrganizationName("ZARVENTIK");
    QCoreApplication::setApplicationName("TAKT-M");
    {
      QSettings store;
      store.setValue("ComPort", dir_.filePath("no-such-port"));
    }
    form_ = std::make_unique<TForm1>(
        nullptr, std::make_unique<testing::RecordingComm32>(&calls_));
  }

  std::string Write(const std::string& name, const std::string& content) {
    const std::string path =
        dir_.filePath(QString::fromStdString(name)).toStdString();
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  // Loads `path` as the window does, pressing `button` in the box that
  // asks (if one does); returns the box's text.
  LoadOutcome Load(const std::string& path, QMessageBox::StandardButton button,
                   QString* asked) {
    QTimer watcher;
    watcher.setInterval(10);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) return;
      *asked = box->text();
      box->button(button)->click();
    });
    watcher.start();
    WorkingFileController& file = form_->core().working_file();
    file.SetWorkingFile(path);
    return file.LoadFile();
  }

  QTemporaryDir dir_;
  std::vector<int> calls_;
  std::unique_ptr<TForm1> form_;
};

TEST_F(FormatQuestionTest, EachButtonDecidesTheLoad) {
  const Bytes image = {0xDE, 0xAD, 0xBE, 0xEF};
  const std::string text = WriteIntelHex(image.data(), image.size());
  const std::string path = Write("firmware.bin", text);
  const DataBuffer& buffer = form_->core().buffer();

  QString asked;
  EXPECT_EQ(Load(path, QMessageBox::Yes, &asked), LoadOutcome::kLoaded);
  EXPECT_TRUE(asked.contains(QStringLiteral("похож на файл Intel HEX")))
      << asked.toStdString();
  EXPECT_EQ(buffer.bytes(), image);

  const std::string other = Write("firmware2.bin", text);
  asked.clear();
  EXPECT_EQ(Load(other, QMessageBox::No, &asked), LoadOutcome::kLoaded);
  EXPECT_FALSE(asked.isEmpty());
  EXPECT_EQ(buffer.size(), text.size());

  const std::string third = Write("firmware3.bin", text);
  asked.clear();
  EXPECT_EQ(Load(third, QMessageBox::Cancel, &asked), LoadOutcome::kCancelled);
  EXPECT_FALSE(asked.isEmpty());
  EXPECT_TRUE(buffer.empty());
}

TEST_F(FormatQuestionTest, SrecordAndElfNamesLoadWithoutAQuestion) {
  const Bytes image = {1, 2, 3};
  const std::string srec = WriteSrec(image.data(), image.size());
  QString asked;
  for (const char* name : {"a.srec", "b.S19", "c.s28", "d.s37", "e.mot"}) {
    EXPECT_EQ(Load(Write(name, srec), QMessageBox::Cancel, &asked),
              LoadOutcome::kLoaded)
        << name;
    EXPECT_EQ(form_->core().buffer().bytes(), image) << name;
  }
  // An .elf name over content that is no ELF is refused by the ELF reader,
  // with its warning in a box (answered here with OK).
  EXPECT_EQ(Load(Write("f.elf", "plain"), QMessageBox::Ok, &asked),
            LoadOutcome::kRefused);
  EXPECT_TRUE(asked.contains(QStringLiteral("не ELF"))) << asked.toStdString();
}

}  // namespace
}  // namespace taktm
