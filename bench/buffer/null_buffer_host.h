// A BufferHost that answers nothing and shows nothing, for benchmarks.
#ifndef TAKT_BENCH_BUFFER_NULL_BUFFER_HOST_H_
#define TAKT_BENCH_BUFFER_NULL_BUFFER_HOST_H_

#include <functional>

#include "buffer/buffer_host.h"

namespace taktm {

class NullBufferHost : public BufferHost {
 public:
  void ShowWarning(const std::string&) override {}
  Answer AskYesNoCancel(const std::string&) override { return Answer::kNo; }
  Answer AskYesNo(const std::string&) override { return Answer::kYes; }
  std::optional<std::string> PromptSaveFileName(const std::string&) override {
    return std::nullopt;
  }
  void ReportError(const std::string&) override {}
  bool Check4() override { return true; }
  bool Check12() override { return true; }
  void ShowStatus(const std::string&) override {}
  void ResetStatusColour() override {}
  void GridNeedsLayout() override {
    if (on_layout) on_layout();
  }
  void GridNeedsRefresh() override {
    if (on_refresh) on_refresh();
  }
  std::function<void()> on_layout;
  std::function<void()> on_refresh;
};

}  // namespace taktm

#endif  // TAKT_BENCH_BUFFER_NULL_BUFFER_HOST_H_
