#include "session/port_session.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <vector>

#include "support/pty.h"
#include "support/recording_comm32.h"
#include "support/spin_until.h"

namespace taktm {
namespace {

using testing::RecordingComm32;

class QuietHost : public AppHost {
 public:
  bool WriteData(const uint8_t*, uint16_t) override { return true; }
  void RestartWatchdog() override {}
  void ShowWarning(const std::string&) override {}
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
};

bool SpinUntil(const std::function<bool()>& done) {
  return testing::SpinUntil(done, 5000);
}

class PortSessionTest : public ::testing::Test {
 protected:
  PortSessionTest()
      : core_(host_),
        session_(core_, std::make_unique<RecordingComm32>(&lines_)) {}

  void UsePort(const testing::Pty& pty) {
    session_.comm().SetCommPort(QString::fromStdString(pty.slave_name()));
  }

  QuietHost host_;
  AppCore core_;
  std::vector<int> lines_;
  PortSession session_;
};

TEST_F(PortSessionTest, OpensWithRtsOnAndDtrOffOrSetsNoLine) {
  session_.comm().SetCommPort(QStringLiteral("/nonexistent/port"));
  EXPECT_THROW(session_.Open(), ECommsError);
  EXPECT_TRUE(session_.watchdog().isActive());  // started before the open
  EXPECT_TRUE(lines_.empty());

  testing::Pty pty;
  ASSERT_TRUE(pty.ok() && pty.MakeRaw());
  UsePort(pty);
  session_.Open();
  EXPECT_FALSE(session_.comm().NeedsOpening());
  EXPECT_EQ(lines_, (std::vector<int>{kSetRts, kClearDtr}));
  EXPECT_EQ(session_.watchdog().interval(), kWatchdogIntervalMs);
  // Not a coarse timer, which may fire up to 5 % early: a device idling at
  // 4,900 ms would be taken as lost now and then.
  EXPECT_EQ(session_.watchdog().timerType(), Qt::PreciseTimer);
}

// The command line ends a run whose port failed; the window tries the port
// again on every tick, with the same lines.
TEST_F(PortSessionTest, ALostPortIsOpenedAgainOnATickOnlyWhenAsked) {
  int events = 0;
  session_.on_event = [&] { ++events; };
  auto gone = std::make_unique<testing::Pty>();
  ASSERT_TRUE(gone->ok() && gone->MakeRaw());
  UsePort(*gone);
  session_.Open();
  gone.reset();  // the device is unplugged
  ASSERT_TRUE(SpinUntil([&] { return session_.port_failed(); }));
  EXPECT_GE(events, 1);

  testing::Pty back;
  ASSERT_TRUE(back.ok() && back.MakeRaw());
  UsePort(back);
  lines_.clear();
  session_.Tick();
  EXPECT_TRUE(session_.comm().NeedsOpening());
  EXPECT_TRUE(lines_.empty());

  session_.set_reopen_on_tick(true);
  session_.Tick();
  EXPECT_FALSE(session_.comm().NeedsOpening());
  EXPECT_EQ(lines_, (std::vector<int>{kSetRts, kClearDtr}));
  EXPECT_EQ(session_.watchdog_firings(), 2);
}

}  // namespace
}  // namespace taktm
