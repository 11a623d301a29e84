#include "cli/run_verdict.h"

#include <gtest/gtest.h>

#include "link/command_queue.h"
#include "programming/programming_texts.h"

namespace taktm {
namespace {

Outcome Of(OutcomeKind kind, std::string text = "",
           std::optional<uint32_t> address = std::nullopt) {
  return {kind, std::move(text), address, std::nullopt};
}

// A drained run whose programmer announced `outcomes`, after the reset that
// starts an operation.
RunState Drained(std::vector<Outcome> outcomes) {
  RunState state;
  state.drained = true;
  state.outcomes = {Of(OutcomeKind::kNone)};
  state.outcomes.insert(state.outcomes.end(), outcomes.begin(), outcomes.end());
  return state;
}

// The verdict comes from the kind and the address, whatever the text says.
TEST(RunVerdictTest, VerifyMismatchCarriesTheAddress) {
  const RunVerdict v = JudgeRun(
      Drained({Of(OutcomeKind::kSignatureRight, "Сигнатура: 1E 95 F верна"),
               Of(OutcomeKind::kVerifyMismatch, "текст окна", 0x1C0)}));
  EXPECT_EQ(v.status, ExitStatus::kVerifyMismatch);
  EXPECT_EQ(v.verify_address, 0x1C0u);
  EXPECT_EQ(v.message, "текст окна");
  EXPECT_EQ(v.shown, "текст окна");
  EXPECT_EQ(JudgeRun(Drained({Of(OutcomeKind::kVerifyMismatch, "", 0)}))
                .verify_address,
            0u);
}

TEST(RunVerdictTest, DeviceVerdictsComeBeforeTheLinksFailures) {
  // A wrong signature empties the queue; that is its explanation even when
  // the watchdog fired afterwards (the loss is the programmer's last
  // outcome then, but the status line still shows the signature).
  RunState state =
      Drained({Of(OutcomeKind::kSignatureWrong, "Сигнатура: 5A 8 FC не верна!"),
               Of(OutcomeKind::kDeviceLost, kNotConnectedCaption)});
  state.device_lost = true;
  EXPECT_EQ(JudgeRun(state).status, ExitStatus::kWrongSignature);
  EXPECT_EQ(JudgeRun(state).message, "Сигнатура: 5A 8 FC не верна!");
  EXPECT_EQ(JudgeRun(Drained({Of(OutcomeKind::kCancelled,
                                 "Рабочий файл пуст. Запись отменена!")}))
                .status,
            ExitStatus::kFileError);
  EXPECT_EQ(JudgeRun(Drained({Of(OutcomeKind::kCancelled,
                                 "Буфер пуст. Сверка отменена!")}))
                .message,
            "Буфер пуст. Сверка отменена!");
}

TEST(RunVerdictTest, LinkFailures) {
  RunState lost;
  lost.device_lost = true;
  EXPECT_EQ(JudgeRun(lost).status, ExitStatus::kNoDevice);
  RunState hangup = Drained({});
  hangup.port_failed = true;
  EXPECT_EQ(JudgeRun(hangup).status, ExitStatus::kNoDevice);
  // The retry limit of an earlier step still fails the run.
  RunState retry = Drained({});
  retry.outcomes.insert(retry.outcomes.begin(),
                        Of(OutcomeKind::kRetryLimit, kRetryLimitWarning));
  EXPECT_EQ(JudgeRun(retry).status, ExitStatus::kDeviceFailure);
  EXPECT_EQ(JudgeRun(retry).message,
            "Не могу выполнить команду! Очередь команд очищена.");
  const RunState foreign =
      Drained({Of(OutcomeKind::kForeignAnswer, kForeignAnswer)});
  EXPECT_EQ(JudgeRun(foreign).status, ExitStatus::kDeviceFailure);
  EXPECT_EQ(JudgeRun(foreign).message,
            "Не могу выполнить команду! Очередь команд очищена. Устройство "
            "ответило не на ту команду.");
  RunState late;
  late.timed_out = true;
  EXPECT_EQ(JudgeRun(late).status, ExitStatus::kDeviceFailure);
  const RunState cut = Drained({Of(OutcomeKind::kImageTooLarge, kImageTooLarge),
                                Of(OutcomeKind::kAllRight, kAllRight)});
  EXPECT_EQ(JudgeRun(cut).status, ExitStatus::kFileError);
  EXPECT_EQ(JudgeRun(cut).message, kImageTooLarge);
  EXPECT_EQ(
      JudgeRun(Drained({Of(OutcomeKind::kMemoryTooLarge, "велик")})).status,
      ExitStatus::kDeviceFailure);
}

// Success needs a drained queue and, when a verify was queued, its
// kAllRight (set only when the run's closing SVC_END came back) in this
// operation, not an earlier one's.
TEST(RunVerdictTest, SuccessOnlyWithTheVerifyConfirmed) {
  EXPECT_EQ(JudgeRun(Drained({})).status, ExitStatus::kOk);
  EXPECT_EQ(JudgeRun(Drained({})).shown, "");
  RunState verified = Drained({Of(OutcomeKind::kAllRight, "Все верно.")});
  verified.verify_expected = true;
  EXPECT_EQ(JudgeRun(verified).status, ExitStatus::kOk);
  EXPECT_EQ(JudgeRun(verified).shown, "Все верно.");
  RunState unconfirmed =
      Drained({Of(OutcomeKind::kSignatureRight, "Сигнатура: 5A 8 3 верна")});
  unconfirmed.verify_expected = true;
  EXPECT_EQ(JudgeRun(unconfirmed).status, ExitStatus::kDeviceFailure);
  EXPECT_EQ(JudgeRun(unconfirmed).message,
            "Сверка не подтверждена: Сигнатура: 5A 8 3 верна");
  RunState earlier;
  earlier.drained = true;
  earlier.verify_expected = true;
  earlier.outcomes = {Of(OutcomeKind::kAllRight, "Все верно."),
                      Of(OutcomeKind::kNone)};
  EXPECT_EQ(JudgeRun(earlier).status, ExitStatus::kDeviceFailure);
  EXPECT_EQ(JudgeRun(earlier).message, "Сверка не подтверждена: ");
  EXPECT_EQ(
      JudgeRun(Drained({Of(OutcomeKind::kCommandRefused, "длинная")})).status,
      ExitStatus::kDeviceFailure);
}

// What the status line shows: the last outcome it showed in this operation;
// boxes and the caption do not change it.
TEST(RunVerdictTest, ShownOutcomeIsTheStatusLines) {
  const std::vector<Outcome> outcomes = {
      Of(OutcomeKind::kCalibration, "старое"), Of(OutcomeKind::kNone),
      Of(OutcomeKind::kCalibration, "Калибровочные байты: A0"),
      Of(OutcomeKind::kRetryLimit, kRetryLimitWarning),
      Of(OutcomeKind::kDeviceLost, kNotConnectedCaption)};
  ASSERT_NE(ShownOutcome(outcomes), nullptr);
  EXPECT_EQ(ShownOutcome(outcomes)->text, "Калибровочные байты: A0");
  EXPECT_EQ(ShownOutcome({Of(OutcomeKind::kAllRight), Of(OutcomeKind::kNone)}),
            nullptr);
  EXPECT_EQ(ShownOutcome({}), nullptr);
}

}  // namespace
}  // namespace taktm
