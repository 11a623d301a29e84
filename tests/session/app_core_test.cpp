// The core wired together without a window: what the retry limit leaves on
// the status line.
#include "session/app_core.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/frame.h"
#include "programming/opcodes.h"
#include "programming/programming_texts.h"
#include "support/fake_link_host.h"

namespace taktm {
namespace {

using testing::Ack;
using testing::Bytes;
using testing::Concat;
using testing::Frame;

class QuietHost : public AppHost {
 public:
  bool WriteData(const uint8_t*, uint16_t) override { return true; }
  void RestartWatchdog() override {}
  void ShowWarning(const std::string& text) override {
    warnings.push_back(text);
  }
  Answer AskYesNoCancel(const std::string&) override { return Answer::kNo; }
  Answer AskYesNo(const std::string&) override { return Answer::kNo; }
  std::optional<std::string> PromptSaveFileName(const std::string&) override {
    return std::nullopt;
  }
  void ReportError(const std::string&) override {}
  void GridNeedsLayout() override {}
  void GridNeedsRefresh() override {}
  void Changed(Aspect) override {}
  void RebuildLines(int) override {}
  void SetLineText(int, const std::string&) override {}
  bool Check(Option) override { return true; }

  std::vector<std::string> warnings;
};

void Feed(AppCore& core, const Bytes& bytes) {
  core.parser().Comm321ReceiveData(bytes.data(), bytes.size());
}

// A read answered again and again at another address: the retry limit
// ends it, and the status line says the device answered another command.
TEST(AppCoreTest, RetryLimitAfterForeignRepliesSaysSo) {
  QuietHost host;
  AppCore core(host);
  core.queue().EnqueueCommand({OP_READ_FLASH, 0x00, 0x01, 0x00, 0x00, 4});
  Feed(core, Ack());
  for (int i = 0; i < 20 && host.warnings.empty(); ++i) {
    Feed(core,
         Concat({Frame({OP_READ_FLASH, 0x00, 0x02, 0x00, 0x00, 4, 1, 2, 3, 4}),
                 Ack()}));
  }
  ASSERT_EQ(host.warnings, (std::vector<std::string>{kRetryLimitWarning}));
  EXPECT_EQ(core.programmer().status_text(), kForeignAnswer);
  EXPECT_EQ(core.programmer().outcome().kind, OutcomeKind::kForeignAnswer);
  EXPECT_TRUE(core.programmer().status_error());
}

// A command never answered at all: the warning alone, the status untouched.
TEST(AppCoreTest, RetryLimitWithoutRepliesLeavesTheStatus) {
  QuietHost host;
  AppCore core(host);
  core.queue().EnqueueCommand({OP_READ_FLASH, 0x00, 0x01, 0x00, 0x00, 4});
  for (int i = 0; i < 40 && host.warnings.empty(); ++i) Feed(core, Ack());
  ASSERT_EQ(host.warnings.size(), 1u);
  EXPECT_EQ(core.programmer().status_text(), "");
  EXPECT_EQ(core.programmer().outcome().kind, OutcomeKind::kRetryLimit);
  EXPECT_EQ(core.programmer().outcome().text, host.warnings[0]);
}

}  // namespace
}  // namespace taktm
