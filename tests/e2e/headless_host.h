// A front-end without windows around the real program core: AppCore on the
// real serial port component TComm32 and a real 5,000 ms QTimer as the link
// watchdog. Modal boxes are recorded and answered at once with what the test
// set beforehand; the settings options come from a settable array. Every wait
// spins the Qt event loop until a predicate holds or a deadline passes.
#ifndef TAKT_TESTS_E2E_HEADLESS_HOST_H_
#define TAKT_TESTS_E2E_HEADLESS_HOST_H_

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QString>
#include <QTimer>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/comm32.h"
#include "ui/app_core.h"

namespace taktm::testing {

inline constexpr int kWatchdogMs = 5000;

class HeadlessHost : public AppHost {
 public:
  // Opens `port` as the program does (56,000 bit/s, no parity) and starts
  // the watchdog, as the settings dialog does at start-up.
  explicit HeadlessHost(const std::string& port) : core_(*this) {
    checks_.fill(true);  // every option is on by default
    watchdog_.setInterval(kWatchdogMs);
    QObject::connect(&watchdog_, &QTimer::timeout,
                     [this] { core_.programmer().Timer2Timer(); });
    comm_.SetCommPort(QString::fromStdString(port));
    comm_.SetBaudRate(56000);
    comm_.SetParity(pNone);
    comm_.SetFlowControl(fcNone);
    comm_.OnReceiveData = [this](const uint8_t* bytes, uint16_t count) {
      if (on_receive) on_receive(bytes, count);
      core_.parser().Comm321ReceiveData(bytes, count);
    };
    comm_.OnError = [this](uint32_t code) { port_errors_.push_back(code); };
    watchdog_.start();
    try {
      open_ = comm_.OpenPort();
    } catch (const ECommsError& error) {
      open_error_ = error.what();
    }
  }
  HeadlessHost(const HeadlessHost&) = delete;
  HeadlessHost& operator=(const HeadlessHost&) = delete;

  AppCore& core() { return core_; }
  ChipProgrammer& programmer() { return core_.programmer(); }
  CommandQueue& queue() { return core_.queue(); }
  TComm32& comm() { return comm_; }
  bool open() const { return open_; }
  const std::string& open_error() const { return open_error_; }
  const std::vector<uint32_t>& port_errors() const { return port_errors_; }

  // The main window being shown: SVC_END, then SVC_GET_NAME.
  void FormShow() { core_.programmer().FormShow(); }

  // Options Check1 .. Check13 as the settings dialog would have them ticked.
  void SetCheck(int n, bool ticked) {
    checks_.at(static_cast<size_t>(n)) = ticked;
  }

  // Modal boxes seen, in order, and the answer every question gets.
  const std::vector<std::string>& warnings() const { return warnings_; }
  const std::vector<std::string>& questions() const { return questions_; }
  const std::vector<std::string>& error_reports() const {
    return error_reports_;
  }
  void set_answer(Answer answer) { answer_ = answer; }
  // The about box's lines.
  const std::vector<std::string>& about_lines() const { return about_lines_; }
  // Every text the status line has shown, in order.
  const std::vector<std::string>& status_history() const {
    return status_history_;
  }

  // Hooks for measurements: every chunk received, every frame written.
  std::function<void(const uint8_t*, uint16_t)> on_receive;
  std::function<void(const uint8_t*, uint16_t)> on_write;

  // Spins the event loop until `done` holds (true) or `ms` pass (false).
  // Blocks in the event loop between events rather than polling.
  bool RunUntil(const std::function<bool()>& done, int ms) {
    const QDeadlineTimer deadline(ms);
    QTimer wake;  // ends the last wait at the deadline
    wake.setSingleShot(true);
    wake.start(ms);
    while (!done()) {
      if (deadline.hasExpired()) return false;
      QCoreApplication::processEvents(QEventLoop::AllEvents |
                                      QEventLoop::WaitForMoreEvents);
    }
    return true;
  }
  // Runs the event loop for `ms` whatever happens.
  void RunFor(int ms) {
    RunUntil([] { return false; }, ms);
  }
  // Until the queue has drained (the last reply handled).
  bool RunUntilIdle(int ms) {
    return RunUntil([this] { return queue().empty(); }, ms);
  }
  // Start-up, discovery of a device with one chip, and its selection; false
  // when any step does not finish within `ms` each.
  bool DiscoverSingleChip(int ms) {
    FormShow();
    if (!RunUntil(
            [this] {
              return programmer().chip_rows().size() == 1 && queue().empty();
            },
            ms)) {
      return false;
    }
    programmer().ListBox1Click(0);
    return RunUntilIdle(ms);
  }

  // Frames handed to the port, and commands that left the queue (answered,
  // or dropped by a failure, the retry limit or a loss).
  int64_t frames_sent() const { return frames_sent_; }
  int64_t commands_done() const { return commands_done_; }

  // ---- LinkHost ----
  bool WriteData(const uint8_t* bytes, uint16_t count) override {
    ++frames_sent_;
    if (on_write) on_write(bytes, count);
    return comm_.WriteData(bytes, count);
  }
  void ProgressChanged() override {
    const int64_t n = static_cast<int64_t>(queue().count());
    if (n < queued_) commands_done_ += queued_ - n;
    queued_ = n;
  }
  void RestartWatchdog() override {
    watchdog_.stop();
    watchdog_.start();
  }
  void ShowWarning(const std::string& text) override {
    warnings_.push_back(text);
  }

  // ---- BufferHost ----
  Answer AskYesNoCancel(const std::string& text) override {
    questions_.push_back(text);
    return answer_;
  }
  Answer AskYesNo(const std::string& text) override {
    questions_.push_back(text);
    return answer_ == Answer::kYes ? Answer::kYes : Answer::kNo;
  }
  std::optional<std::string> PromptSaveFileName(const std::string&) override {
    return std::nullopt;  // the save dialog is cancelled
  }
  void ReportError(const std::string& text) override {
    error_reports_.push_back(text);
  }
  bool Check4() override { return checks_[4]; }
  bool Check12() override { return checks_[12]; }
  void ShowStatus(const std::string& text) override {
    core_.programmer().SetStatusText(text);
  }
  void ResetStatusColor() override { core_.programmer().ResetStatusColour(); }
  void GridNeedsLayout() override {}
  void GridNeedsRefresh() override {}

  // ---- AppHost ----
  void Changed(Aspect aspect) override {
    if (aspect == Aspect::kStatus) {
      status_history_.push_back(core_.programmer().status_text());
    }
  }
  void RebuildLines(int n) override {
    about_lines_.assign(static_cast<size_t>(n), std::string());
  }
  void SetLineText(int i, const std::string& text) override {
    if (i >= 0 && i < static_cast<int>(about_lines_.size())) {
      about_lines_[static_cast<size_t>(i)] = text;
    }
  }
  bool Check(Option option) override {
    return checks_[static_cast<size_t>(OptionNumber(option))];
  }

 private:
  AppCore core_;
  TComm32 comm_;
  QTimer watchdog_;
  bool open_ = false;
  std::string open_error_;
  std::vector<uint32_t> port_errors_;
  std::array<bool, 14> checks_{};
  Answer answer_ = Answer::kNo;
  std::vector<std::string> warnings_;
  std::vector<std::string> questions_;
  std::vector<std::string> error_reports_;
  std::vector<std::string> about_lines_;
  std::vector<std::string> status_history_;
  int64_t frames_sent_ = 0;
  int64_t commands_done_ = 0;
  int64_t queued_ = 0;
};

}  // namespace taktm::testing

#endif  // TAKT_TESTS_E2E_HEADLESS_HOST_H_
