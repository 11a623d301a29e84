// The main window itself (TForm1 with its settings dialog, its real
// QMessageBox and TComm32) against takt-m-devsim: the retry warning leaves
// the link running while it is open, and a port that failed or was absent
// at start-up is opened again by the watchdog.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QListWidget>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "config/settings_dialog.h"
#include "harness/devsim_process.h"
#include "harness/headless_host.h"
#include "harness/temp_dir.h"
#include "link/command_queue.h"
#include "programming/opcodes.h"
#include "programming/programming_texts.h"
#include "ui/main_window.h"
#include "ui/mismatch_button.h"
#include "ui/shell_browser.h"
#include "widgets/error_report.h"

namespace taktm::testing {
namespace {

const QString kDevice = QStringLiteral("ТАКТ-М (виртуальный)");

class WindowLinkE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(settings_dir_.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       settings_dir_.path());
    QCoreApplication::setOrganizationName("ZARVENTIK");
    QCoreApplication::setApplicationName("TAKT-M");
    {
      QSettings store;
      store.setValue("ComPort", QString::fromStdString(port_path()));
    }
    SetErrorReporter([this](QWidget*, const QString& text) {
      reported_.push_back(text.toStdString());
    });
  }
  void TearDown() override {
    form1_.reset();  // the port closes before the emulator stops
    devsim_.reset();
    SetErrorReporter(nullptr);
  }

  // The device, plugged in at the port the settings name.
  void PlugIn(std::vector<std::string> args) {
    args.insert(args.end(), {"--link", port_path(), "--log",
                             dir_.File("frames" + std::to_string(++plugs_))});
    devsim_ = std::make_unique<DevsimProcess>(args);
    ASSERT_FALSE(devsim_->port().empty()) << "takt-m-devsim did not start";
  }
  // The device's commands received, in its current log.
  size_t Received() const {
    size_t n = 0;
    for (const std::string& line :
         ReadLines(dir_.File("frames" + std::to_string(plugs_)))) {
      n += line.rfind("RX ", 0) == 0;
    }
    return n;
  }

  // Creates the windows as the program does at start-up (the settings
  // dialog starts the watchdog and opens the port) and shows the main one.
  void OpenWindow(int watchdog_ms) {
    form1_ = std::make_unique<TForm1>();
    form1_->Timer2().setInterval(watchdog_ms);
    auto* form3 = new TForm3(form1_->Comm321(), form1_->Timer2(),
                             form1_->Browser(), form1_.get());
    form1_->AttachSettings(form3);
    form1_->show();
  }

  bool RunUntil(const std::function<bool()>& done, int ms) {
    const QDeadlineTimer deadline(ms);
    while (!done()) {
      if (deadline.hasExpired()) return false;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
  }
  bool FoundDevice() const {
    return form1_->windowTitle() == kDevice &&
           form1_->ListBox1()->count() == 4 && form1_->core().queue().empty();
  }

  std::string port_path() const { return dir_.File("port"); }

  TempDir dir_;
  QTemporaryDir settings_dir_;
  std::vector<std::string> reported_;
  std::unique_ptr<DevsimProcess> devsim_;
  int plugs_ = 0;
  std::unique_ptr<TForm1> form1_;
};

// A device that answers nothing reaches the retry limit. While its box is
// open, the device's acknowledgements go on arriving: they are handled (a
// command queued meanwhile goes out) and they feed the watchdog, so the
// device is not declared lost however long the box stays open.
TEST_F(WindowLinkE2eTest, RetryWarningLeavesTheLinkRunningWhileItIsOpen) {
  constexpr int kWatchdog = 1000;
  constexpr int kKeepOpenMs = 5 * kWatchdog / 2;
  ASSERT_NO_FATAL_FAILURE(PlugIn({"--drop-replies", "1", "--ack-ms", "20"}));
  OpenWindow(kWatchdog);
  int firings = 0;
  QObject::connect(&form1_->Timer2(), &QTimer::timeout, [&] { ++firings; });

  struct Seen {
    QMessageBox* box = nullptr;
    QString text;
    QElapsedTimer open_for;
    size_t sent = 0;
    int firings = 0;
  } first, last;
  bool answered = false;
  int later_boxes = 0;
  // The box runs its own event loop: the test watches it from a timer.
  QTimer watcher;
  watcher.setInterval(20);
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || answered) return;
    if (first.box == nullptr) {
      first.box = box;
      first.text = box->text();
      first.open_for.start();
      first.sent = Received();
      first.firings = firings;
      // Never answered either: it goes out at the acknowledgements that
      // arrive while the box is open, and reaches the limit on its own.
      form1_->core().programmer().QueueCommand(SVC_END);
    } else if (box != first.box) {
      ++later_boxes;  // that second limit's box, on top of the first
      box->button(QMessageBox::Ok)->click();
    } else if (first.open_for.elapsed() >= kKeepOpenMs) {
      last.sent = Received();
      last.firings = firings;
      answered = true;
      box->button(QMessageBox::Ok)->click();
    }
  });
  watcher.start();

  ASSERT_TRUE(RunUntil(
      [&] { return answered && QApplication::activeModalWidget() == nullptr; },
      30000))
      << "the retry warning never opened or never closed";
  EXPECT_EQ(first.text.toStdString(), kRetryLimitWarning);
  EXPECT_EQ(last.firings, first.firings) << "the device was declared lost";
  EXPECT_GE(last.sent - first.sent, 1u) << "nothing was sent while open";
  EXPECT_EQ(later_boxes, 1);
  EXPECT_TRUE(form1_->core().queue().empty());
  EXPECT_TRUE(reported_.empty());
}

// A verify that fails on a chip written over without an erase: the status
// line keeps its text, and "Подробнее…" beside it opens the chunk's details
// (read back from the chip) until the next operation replaces that line.
TEST_F(WindowLinkE2eTest, VerifyMismatchDetailsOpenFromTheStatusBar) {
  using Bytes = std::vector<uint8_t>;
  ASSERT_EQ(::mkdir(dir_.File("mem").c_str(), 0700), 0);
  WriteFile(dir_.File("mem/DEMO-8K.flash"), Bytes(8192, 0x00));
  ASSERT_NO_FATAL_FAILURE(
      PlugIn({"--ack-ms", "20", "--memory-dir", dir_.File("mem")}));
  OpenWindow(5000);
  ASSERT_TRUE(RunUntil([&] { return FoundDevice(); }, 10000));
  ChipProgrammer& p = form1_->core().programmer();
  p.ListBox1Click(2);  // DEMO-8K
  ASSERT_TRUE(RunUntil(
      [&] { return form1_->core().queue().empty() && p.FlashSize() == 8192; },
      10000));
  Bytes image(300, 0x00);
  image[250] = 0xF1;  // five bits the chip lacks, in the chunk at E0
  form1_->core().buffer().Assign(image);
  int verify_row = -1;
  for (size_t k = 0; k < p.operation_rows().size(); ++k) {
    if (p.OperationCodes()[k] == OP_VERIFY_FLASH)
      verify_row = static_cast<int>(k);
  }
  ASSERT_GE(verify_row, 0);
  MismatchButton* button = form1_->DetailsButton();
  EXPECT_FALSE(button->isVisible());
  p.ListBox2Click(2, verify_row);
  ASSERT_TRUE(RunUntil([&] { return p.last_mismatch().has_value(); }, 10000));
  EXPECT_EQ(form1_->StatusPanel()->text().toStdString(),
            "Ошибка по адресу E0. Попробуйте программировать снова!");
  EXPECT_EQ(form1_->core().buffer().bytes(), image);
  ASSERT_TRUE(button->isVisible());
  button->click();
  ASSERT_NE(button->box(), nullptr);
  EXPECT_TRUE(button->box()->isVisible());
  EXPECT_EQ(button->box()->text().toStdString(),
            "Блок с адреса E0, длина 76.\n"
            "Различающихся байт: 1.\n"
            "Битов 1→0 (в файле 1, в микросхеме 0): 5.\n"
            "Битов 0→1 (в файле 0, в микросхеме 1): 0.\n"
            "FA: в файле F1, в микросхеме 00\n"
            "Только сброшенные биты: микросхема, вероятно, не стерта.");
  button->box()->close();
  p.ListBox2Click(2, verify_row);  // the line is cleared: no details
  EXPECT_FALSE(button->isVisible());
  EXPECT_TRUE(reported_.empty());
}

// The device is unplugged (its pty closes) and plugged back at the same
// port: with the program's own 5,000 ms watchdog, the window declares it
// lost, opens the port again and finds the device within two periods of
// the unplugging.
TEST_F(WindowLinkE2eTest, DevicePluggedBackIsFoundAgainWithoutARestart) {
  ASSERT_NO_FATAL_FAILURE(PlugIn({"--ack-ms", "50"}));
  OpenWindow(kWatchdogMs);
  ASSERT_TRUE(RunUntil([&] { return FoundDevice(); }, 10000));

  QElapsedTimer since_unplugged;
  since_unplugged.start();
  devsim_.reset();
  ASSERT_NO_FATAL_FAILURE(PlugIn({"--ack-ms", "50"}));
  ASSERT_TRUE(RunUntil(
      [&] { return form1_->windowTitle() == QString(kNotConnectedCaption); },
      2 * kWatchdogMs))
      << "the loss was never declared";
  EXPECT_EQ(form1_->ListBox1()->count(), 0);
  ASSERT_TRUE(RunUntil([&] { return FoundDevice(); }, 4 * kWatchdogMs))
      << "the device was not found again";
  std::printf("[ replug   ] found again %lld ms after the unplugging\n",
              static_cast<long long>(since_unplugged.elapsed()));
  EXPECT_LE(since_unplugged.elapsed(), 2 * kWatchdogMs);
  EXPECT_TRUE(reported_.empty()) << reported_.front();
}

// Absent at start-up: one error box, then quiet retries until the device
// is plugged in, and it is found within two watchdog periods.
TEST_F(WindowLinkE2eTest, PortAbsentAtStartUpIsOpenedOnceTheDeviceIsThere) {
  constexpr int kWatchdog = 1500;
  OpenWindow(kWatchdog);
  ASSERT_EQ(reported_.size(), 1u);
  EXPECT_EQ(
      reported_[0].rfind("Невозможно открыть порт!\n\rПорт: " + port_path(), 0),
      0u)
      << reported_[0];
  RunUntil([] { return false; }, 2 * kWatchdog);  // two quiet failures

  ASSERT_NO_FATAL_FAILURE(PlugIn({"--ack-ms", "50"}));
  QElapsedTimer since_plugged;
  since_plugged.start();
  ASSERT_TRUE(RunUntil([&] { return FoundDevice(); }, 4 * kWatchdog))
      << "the device was never found";
  std::printf("[ plug in  ] found %lld ms after the device was there\n",
              static_cast<long long>(since_plugged.elapsed()));
  EXPECT_LE(since_plugged.elapsed(), 2 * kWatchdog);
  // A name the narrow list may cut can still be read whole.
  QListWidgetItem* chip = form1_->ListBox1()->item(0);
  EXPECT_EQ(chip->toolTip(), chip->text());
  EXPECT_EQ(reported_.size(), 1u);
}

}  // namespace
}  // namespace taktm::testing
