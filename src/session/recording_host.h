// A front-end without windows around the program core: AppCore on its port
// session (the serial port component and the link watchdog). It records
// what a window would show in boxes (warnings, error reports, questions)
// and the about box's lines, and answers every question at once with the
// answer set beforehand ("No" unless told). The command line's host and the
// test harness's are this, each with its own port, options and waits.
#ifndef TAKT_SESSION_RECORDING_HOST_H_
#define TAKT_SESSION_RECORDING_HOST_H_

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/comm32.h"
#include "session/app_core.h"
#include "session/port_session.h"

namespace taktm {

class RecordingHost : public AppHost {
 public:
  RecordingHost();
  RecordingHost(const RecordingHost&) = delete;
  RecordingHost& operator=(const RecordingHost&) = delete;

  AppCore& core() { return core_; }
  ChipProgrammer& programmer() { return core_.programmer(); }
  CommandQueue& queue() { return core_.queue(); }
  TComm32& comm() { return session_.comm(); }

  // Boxes seen, in order, and the about box's lines.
  const std::vector<std::string>& warnings() const { return warnings_; }
  const std::vector<std::string>& questions() const { return questions_; }
  const std::vector<std::string>& error_reports() const {
    return error_reports_;
  }
  const std::vector<std::string>& about_lines() const { return about_lines_; }
  // The answer every question gets; a yes/no question takes "Cancel" as no.
  void set_answer(Answer answer) { answer_ = answer; }

  // Called with every warning box's text as it is shown.
  std::function<void(const std::string&)> on_warning;

  // ---- LinkHost ----
  void RestartWatchdog() override { session_.RestartWatchdog(); }
  void ShowWarning(const std::string& text) override;

  // ---- AppHost ----
  Answer AskYesNoCancel(const std::string& text) override;
  Answer AskYesNo(const std::string& text) override;
  // The save dialog is cancelled: nothing is saved behind the user's back.
  std::optional<std::string> PromptSaveFileName(const std::string&) override {
    return std::nullopt;
  }
  void ReportError(const std::string& text) override {
    error_reports_.push_back(text);
  }
  void GridNeedsRefresh() override {}
  void RebuildLines(int n) override;
  void SetLineText(int i, const std::string& text) override;

 protected:
  AppCore core_;
  PortSession session_;

 private:
  Answer answer_ = Answer::kNo;
  std::vector<std::string> warnings_;
  std::vector<std::string> questions_;
  std::vector<std::string> error_reports_;
  std::vector<std::string> about_lines_;
};

}  // namespace taktm

#endif  // TAKT_SESSION_RECORDING_HOST_H_
