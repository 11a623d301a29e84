// Records what the buffer and working-file logic ask of the windows, and
// answers their questions as the test scripted.
#ifndef TAKT_TESTS_BUFFER_FAKE_BUFFER_HOST_H_
#define TAKT_TESTS_BUFFER_FAKE_BUFFER_HOST_H_

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "buffer/buffer_host.h"

namespace taktm::testing {

class FakeBufferHost : public BufferHost {
 public:
  void ShowWarning(const std::string& text) override {
    warnings.push_back(text);
  }
  Answer AskYesNoCancel(const std::string& text) override {
    questions.push_back(text);
    return NextAnswer();
  }
  Answer AskYesNo(const std::string& text) override {
    questions.push_back(text);
    return NextAnswer();
  }
  std::optional<std::string> PromptSaveFileName(
      const std::string& file_name) override {
    save_presets.push_back(file_name);
    return save_choice;
  }
  void ReportError(const std::string& text) override { errors.push_back(text); }
  bool Check4() override { return check4; }
  bool Check12() override { return check12; }
  void ShowStatus(const std::string& text) override { status = text; }
  void ResetStatusColour() override { ++status_colour_resets; }
  void GridNeedsLayout() override {
    ++layouts;
    if (on_layout) on_layout();
  }
  void GridNeedsRefresh() override {
    ++refreshes;
    if (on_refresh) on_refresh();
  }

  // Answers to the next questions, in order; kCancel when none is left.
  std::deque<Answer> answers;
  std::optional<std::string> save_choice;  // nothing: the dialog is cancelled
  bool check4 = true;
  bool check12 = true;

  std::vector<std::string> warnings;
  std::vector<std::string> questions;
  std::vector<std::string> save_presets;
  std::vector<std::string> errors;
  std::string status;
  int status_colour_resets = 0;
  int layouts = 0;
  int refreshes = 0;
  std::function<void()> on_layout;
  std::function<void()> on_refresh;

 private:
  Answer NextAnswer() {
    if (answers.empty()) return Answer::kCancel;
    const Answer a = answers.front();
    answers.pop_front();
    return a;
  }
};

}  // namespace taktm::testing

#endif  // TAKT_TESTS_BUFFER_FAKE_BUFFER_HOST_H_
