#include "session/recording_host.h"

namespace taktm {

RecordingHost::RecordingHost() : core_(*this), session_(core_) {}

void RecordingHost::ShowWarning(const std::string& text) {
  warnings_.push_back(text);
  if (on_warning) on_warning(text);
}

Answer RecordingHost::AskYesNoCancel(const std::string& text) {
  questions_.push_back(text);
  return answer_;
}

Answer RecordingHost::AskYesNo(const std::string& text) {
  questions_.push_back(text);
  return answer_ == Answer::kYes ? Answer::kYes : Answer::kNo;
}

void RecordingHost::RebuildLines(int n) {
  about_lines_.assign(static_cast<size_t>(n), std::string());
}

void RecordingHost::SetLineText(int i, const std::string& text) {
  if (i >= 0 && i < static_cast<int>(about_lines_.size())) {
    about_lines_[static_cast<size_t>(i)] = text;
  }
}

}  // namespace taktm
