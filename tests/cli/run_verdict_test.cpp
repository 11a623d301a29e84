#include "cli/run_verdict.h"

#include <gtest/gtest.h>

#include "link/command_queue.h"
#include "programming/programming_texts.h"

namespace taktm {
namespace {

RunState Drained(std::string status, bool error) {
  RunState state;
  state.drained = true;
  state.status_text = std::move(status);
  state.status_error = error;
  return state;
}

TEST(RunVerdictTest, VerifyMismatchCarriesTheAddress) {
  const RunVerdict v = JudgeRun(
      Drained("Ошибка по адресу 1C0. Попробуйте программировать снова!", true));
  EXPECT_EQ(v.status, ExitStatus::kVerifyMismatch);
  EXPECT_EQ(v.verify_address, 0x1C0u);
  EXPECT_EQ(VerifyErrorAddress("Ошибка по адресу 0. Попробуйте "
                               "программировать снова!"),
            0u);
  EXPECT_FALSE(
      VerifyErrorAddress("Ошибка по адресу . Попробуйте "
                         "программировать снова!"));
  EXPECT_FALSE(
      VerifyErrorAddress("Ошибка по адресу 1g. Попробуйте "
                         "программировать снова!"));
  EXPECT_FALSE(VerifyErrorAddress("Все верно."));
}

TEST(RunVerdictTest, DeviceVerdictsComeBeforeTheLinksFailures) {
  // A wrong signature empties the queue; that is its explanation even when
  // the watchdog fired afterwards.
  RunState state = Drained("Сигнатура: 5A 8 FC не верна!", true);
  state.device_lost = true;
  EXPECT_EQ(JudgeRun(state).status, ExitStatus::kWrongSignature);
  EXPECT_EQ(
      JudgeRun(Drained("Рабочий файл пуст. Запись отменена!", true)).status,
      ExitStatus::kFileError);
  EXPECT_EQ(JudgeRun(Drained("Буфер пуст. Сверка отменена!", true)).status,
            ExitStatus::kFileError);
}

TEST(RunVerdictTest, LinkFailures) {
  RunState lost;
  lost.device_lost = true;
  EXPECT_EQ(JudgeRun(lost).status, ExitStatus::kNoDevice);
  RunState hangup = Drained("", false);
  hangup.port_failed = true;
  EXPECT_EQ(JudgeRun(hangup).status, ExitStatus::kNoDevice);
  RunState retry = Drained("", false);
  retry.warnings = {kRetryLimitWarning};
  EXPECT_EQ(JudgeRun(retry).status, ExitStatus::kDeviceFailure);
  RunState foreign = Drained(kForeignAnswer, true);
  foreign.warnings = {kRetryLimitWarning};
  EXPECT_EQ(JudgeRun(foreign).status, ExitStatus::kDeviceFailure);
  EXPECT_NE(JudgeRun(foreign).message.find(kForeignAnswer), std::string::npos);
  RunState late;
  late.timed_out = true;
  EXPECT_EQ(JudgeRun(late).status, ExitStatus::kDeviceFailure);
  RunState cut = Drained("Все верно.", false);
  cut.warnings = {kImageTooLarge};
  EXPECT_EQ(JudgeRun(cut).status, ExitStatus::kFileError);
}

// Success needs a drained queue and, when a verify was queued, its "Все
// верно." (set only when the run's closing SVC_END came back).
TEST(RunVerdictTest, SuccessOnlyWithTheVerifyConfirmed) {
  EXPECT_EQ(JudgeRun(Drained("", false)).status, ExitStatus::kOk);
  RunState verified = Drained(kAllRight, false);
  verified.verify_expected = true;
  EXPECT_EQ(JudgeRun(verified).status, ExitStatus::kOk);
  RunState unconfirmed = Drained("Сигнатура: 5A 8 3 верна", false);
  unconfirmed.verify_expected = true;
  EXPECT_EQ(JudgeRun(unconfirmed).status, ExitStatus::kDeviceFailure);
  EXPECT_EQ(JudgeRun(Drained("что-то красное", true)).status,
            ExitStatus::kDeviceFailure);
}

}  // namespace
}  // namespace taktm
