// The main window against takt-m-devsim: a program memory write whose reload
// of the working file fails after edits in the grid. The edited image must
// stay, the close must still ask about it, and nothing of the write may
// reach the device.
#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "buffer/intel_hex_writer.h"
#include "harness/devsim_process.h"
#include "harness/temp_dir.h"
#include "ui/main_window.h"

namespace taktm {
namespace {

using Bytes = std::vector<uint8_t>;

// The main window with its questions answered by the test.
class TestForm1 : public TForm1 {
 public:
  Answer AskYesNoCancel(const std::string& text) override {
    questions.push_back(text);
    return Answer::kCancel;
  }
  void ShowWarning(const std::string& text) override {
    warnings.push_back(text);
  }
  void ReportError(const std::string& text) override { errors.push_back(text); }

  std::vector<std::string> questions, warnings, errors;
};

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

bool RunUntil(const std::function<bool()>& done, int ms = 20000) {
  const QDeadlineTimer deadline(ms);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

void PressEnter(QListWidget* list) {
  QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier);
  QCoreApplication::sendEvent(list, &press);
  QCoreApplication::sendEvent(list, &release);
}

class ReloadWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(settings_.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       settings_.path());
    ASSERT_EQ(::mkdir(dir_.File("mem").c_str(), 0700), 0);
    std::ofstream(dir_.File("mem/DEMO-8K.flash"), std::ios::binary)
        .write(reinterpret_cast<const char*>(chip_.data()),
               static_cast<std::streamsize>(chip_.size()));
    devsim_ = std::make_unique<testing::DevsimProcess>(std::vector<std::string>{
        "--log", dir_.File("frames.log"), "--memory-dir", dir_.File("mem"),
        "--ack-ms", "20"});
    ASSERT_FALSE(devsim_->port().empty()) << "takt-m-devsim did not start";
    form_ = std::make_unique<TestForm1>();
    TComm32& comm = form_->Comm321();
    comm.SetCommPort(QString::fromStdString(devsim_->port()));
    comm.SetBaudRate(56000);
    comm.SetParity(pNone);
    ASSERT_TRUE(comm.OpenPort());
    form_->core().programmer().FormShow();
    ASSERT_TRUE(RunUntil([&] {
      return form_->ListBox1()->count() == 4 && form_->core().queue().empty();
    })) << "discovery did not finish";
    SelectChip();
  }
  void TearDown() override {
    form_.reset();
    devsim_.reset();
  }

  // DEMO-8K chosen in the chip list, and its answers awaited.
  void SelectChip() {
    form_->ListBox1()->setCurrentRow(2);
    PressEnter(form_->ListBox1());
    ASSERT_TRUE(RunUntil([&] {
      return form_->ListBox2()->count() > 0 && form_->core().queue().empty();
    }));
  }
  std::vector<std::string> ReceivedSince(size_t line) const {
    const std::vector<std::string> lines =
        testing::ReadLines(dir_.File("frames.log"));
    std::vector<std::string> commands;
    for (size_t i = line; i < lines.size(); ++i) {
      if (lines[i].rfind("RX ", 0) == 0) commands.push_back(lines[i].substr(3));
    }
    return commands;
  }
  size_t LogLines() const {
    return testing::ReadLines(dir_.File("frames.log")).size();
  }

  QTemporaryDir settings_;
  testing::TempDir dir_;
  const Bytes chip_ = Bytes(8192, 0x3C);
  std::unique_ptr<testing::DevsimProcess> devsim_;
  std::unique_ptr<TestForm1> form_;
};

TEST_F(ReloadWindowTest, AFailedReloadKeepsTheEditsAndSendsNothing) {
  Bytes image(500);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i);
  const std::string hex = WriteIntelHex(image.data(), image.size());
  const struct {
    std::string name;
    std::string content;  // what the file holds when the write reloads it
    bool remove;
    std::string why;
  } cases[] = {
      {"gone.bin", "", true,
       "Рабочий файл не загружен. Нет такого файла или папки."},
      {"emptied.bin", "", false, "Рабочий файл пуст."},
      {"cut.hex", hex.substr(0, hex.size() - 13), false,
       "Рабочий файл не загружен. В файле Intel HEX нет записи конца файла."},
  };
  AppCore& core = form_->core();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir_.File(c.name);
    WriteText(path, c.name == "cut.hex"
                        ? hex
                        : std::string(image.begin(), image.end()));
    core.working_file().SetWorkingFile(path);
    ASSERT_EQ(core.working_file().LoadFile(), LoadOutcome::kLoaded);
    // An edit in the grid: "AB" typed into the first cell, then Enter.
    ASSERT_TRUE(core.editor()
                    .StringGrid1KeyPress(kEnterKey, GridCell{1, 1}, "AB")
                    .committed);
    const Bytes edited = core.buffer().bytes();
    ASSERT_TRUE(core.buffer().modified());
    if (c.remove) {
      std::remove(path.c_str());
    } else {
      WriteText(path, c.content);
    }

    const size_t mark = LogLines();
    const auto& rows = core.programmer().operation_rows();
    const auto row =
        std::find(rows.begin(), rows.end(), "Записать память программ");
    ASSERT_NE(row, rows.end());
    form_->ListBox2()->setCurrentRow(static_cast<int>(row - rows.begin()));
    PressEnter(form_->ListBox2());
    EXPECT_TRUE(core.queue().empty());  // nothing queued at all

    EXPECT_EQ(core.buffer().bytes(), edited);
    EXPECT_TRUE(core.buffer().modified());
    EXPECT_EQ(form_->StatusPanel()->text().toStdString(),
              c.why + " Запись отменена!");
    EXPECT_EQ(form_->StatusBar1()->palette().color(QPalette::Window),
              QColor(255, 128, 128));

    // The close asks about the edits (and Cancel keeps the window).
    QCloseEvent close;
    QCoreApplication::sendEvent(form_.get(), &close);
    EXPECT_FALSE(close.isAccepted());
    ASSERT_FALSE(form_->questions.empty());
    EXPECT_EQ(form_->questions.back(), kUnsavedDataPrompt);
    form_->questions.clear();

    // Choosing the chip again is a point by which anything queued before
    // would have reached the device: it must be all the log shows.
    ASSERT_NO_FATAL_FAILURE(SelectChip());
    const std::vector<std::string> received = ReceivedSince(mark);
    ASSERT_FALSE(received.empty());
    EXPECT_EQ(received[0], "F9 02");
    for (const std::string& command : received) {
      for (const char* write : {"00", "07", "0A", "0B", "06"}) {
        EXPECT_NE(command.substr(0, 2), write) << command;
      }
    }
  }
  EXPECT_EQ(testing::ReadBytes(dir_.File("mem/DEMO-8K.flash")), chip_);
  EXPECT_TRUE(form_->warnings.empty());
}

}  // namespace
}  // namespace taktm
