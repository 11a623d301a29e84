#include "ui/main_window.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <vector>

#include "config/settings_dialog.h"
#include "support/recording_comm32.h"
#include "ui/shell_browser.h"
#include "widgets/error_report.h"

namespace taktm {
namespace {

using testing::RecordingComm32;

// The main window with its modal boxes answered by the test.
class TestForm1 : public TForm1 {
 public:
  explicit TestForm1(std::vector<int>* calls)
      : TForm1(nullptr, std::make_unique<RecordingComm32>(calls)) {}
  Answer AskYesNoCancel(const std::string& text) override {
    questions.push_back(text);
    return answer;
  }
  std::optional<std::string> PromptSaveFileName(const std::string&) override {
    return save_as;
  }
  void ShowWarning(const std::string& text) override {
    warnings.push_back(text);
  }
  void ReportError(const std::string& text) override { errors.push_back(text); }

  Answer answer = Answer::kNo;
  std::optional<std::string> save_as;
  std::vector<std::string> questions, warnings, errors;
};

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(settings_dir_.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       settings_dir_.path());
    QCoreApplication::setOrganizationName("ZARVENTIK");
    QCoreApplication::setApplicationName("TAKT-M");
    {
      QSettings store;
      store.setValue("ComPort", settings_dir_.filePath("no-such-port"));
    }
    form_ = std::make_unique<TestForm1>(&line_calls_);
    SetErrorReporter([this](QWidget*, const QString& text) {
      reported_.push_back(text.toStdString());
    });
  }
  void TearDown() override { SetErrorReporter(nullptr); }

  // Modifies one byte of a 16-byte image as a grid edit would.
  void EditBuffer() {
    form_->core().editor().ResizeBuffer(16);
    form_->core().buffer().Set(3, 0xAB);
    form_->core().buffer().set_modified(true);
  }

  bool Close() {
    QCloseEvent event;
    QCoreApplication::sendEvent(form_.get(), &event);
    return event.isAccepted();
  }

  QTemporaryDir settings_dir_;
  std::vector<int> line_calls_;
  std::vector<std::string> reported_;
  std::unique_ptr<TestForm1> form_;
};

TEST_F(MainWindowTest, CloseWithoutUnsavedDataAsksNothingAndDropsTheLines) {
  form_->Timer2().start();
  QElapsedTimer clock;
  clock.start();
  EXPECT_TRUE(Close());
  EXPECT_GE(clock.elapsed(), 450);  // the pause after dropping the lines
  EXPECT_TRUE(form_->questions.empty());
  EXPECT_EQ(line_calls_, (std::vector<int>{kClearRts, kClearDtr}));
  EXPECT_FALSE(form_->Timer2().isActive());
  EXPECT_FALSE(form_->LayoutEnabled());
  EXPECT_TRUE(form_->core().buffer().empty());
}

TEST_F(MainWindowTest, CancelOrAFailedSaveKeepsTheWindowAndTheData) {
  EditBuffer();
  form_->answer = Answer::kCancel;
  EXPECT_FALSE(Close());
  form_->answer = Answer::kYes;
  form_->save_as.reset();  // the save dialog is cancelled
  EXPECT_FALSE(Close());
  form_->save_as =
      settings_dir_.filePath("missing-folder/image.bin").toStdString();
  EXPECT_FALSE(Close());  // the save fails
  EXPECT_EQ(form_->errors.size(), 1u);

  EXPECT_EQ(form_->questions.size(), 3u);
  EXPECT_TRUE(line_calls_.empty());
  EXPECT_TRUE(form_->LayoutEnabled());
  EXPECT_TRUE(form_->core().buffer().modified());
  EXPECT_EQ(form_->core().buffer().at(3), 0xAB);
}

TEST_F(MainWindowTest, YesSavesTheImageBeforeClosing) {
  EditBuffer();
  form_->answer = Answer::kYes;
  const QString path = settings_dir_.filePath("image.bin");
  form_->save_as = path.toStdString();
  EXPECT_TRUE(Close());
  QFile saved(path);
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  const QByteArray bytes = saved.readAll();
  ASSERT_EQ(bytes.size(), 16);
  EXPECT_EQ(static_cast<uint8_t>(bytes[3]), 0xAB);
  EXPECT_EQ(line_calls_, (std::vector<int>{kClearRts, kClearDtr}));
}

TEST_F(MainWindowTest, CloseStoresTheOptionsThroughTheSettingsDialog) {
  auto* form3 = new TForm3(form_->Comm321(), form_->Timer2(), form_->Browser(),
                           form_.get());
  form_->AttachSettings(form3);
  EXPECT_TRUE(form_->Timer2().isActive());
  // The stored port is named under the error, with where to set another.
  ASSERT_EQ(reported_.size(), 1u);
  EXPECT_EQ(reported_[0],
            "Невозможно открыть порт!\n\rПорт: " +
                settings_dir_.filePath("no-such-port").toStdString() +
                ". Другой порт задаётся в «Настройки → Связь» и действует со "
                "следующего запуска.");
  form3->CheckBox(2)->setChecked(false);
  EXPECT_FALSE(form_->Check(Option::kEraseAll));
  EXPECT_TRUE(Close());
  EXPECT_EQ(form_->Settings(), nullptr);
  QSettings store;
  EXPECT_EQ(store.value("Check2").toInt(), 0);
  EXPECT_EQ(store.value("Check1").toInt(), 1);
}

TEST_F(MainWindowTest, FirstShowQueuesEndThenName) {
  form_->show();
  QCoreApplication::processEvents();
  ASSERT_EQ(form_->core().queue().count(), 2u);
  EXPECT_EQ(form_->core().queue().entry(0), (std::vector<uint8_t>{0xFF}));
  EXPECT_EQ(form_->core().queue().entry(1), (std::vector<uint8_t>{0xFE}));
  form_->hide();
  form_->show();  // only the first showing queues anything
  EXPECT_EQ(form_->core().queue().count(), 2u);
  form_->Timer2Timer();
  EXPECT_EQ(form_->windowTitle(), QString("Программатор не подключен"));
  ASSERT_EQ(form_->core().queue().count(), 1u);
  EXPECT_EQ(form_->core().queue().entry(0), (std::vector<uint8_t>{0xFE}));
}

}  // namespace
}  // namespace taktm
