#include "cli/run_verdict.h"

#include <algorithm>

namespace taktm {
namespace {

bool OnStatusLine(OutcomeKind kind) {
  switch (kind) {
    case OutcomeKind::kNone:
    case OutcomeKind::kImageTooLarge:  // a box
    case OutcomeKind::kRetryLimit:     // a box
    case OutcomeKind::kDeviceLost:     // the caption
      return false;
    default:
      return true;
  }
}

// The failures the status line shows in the error colour.
bool IsFailure(OutcomeKind kind) {
  switch (kind) {
    case OutcomeKind::kSignatureWrong:
    case OutcomeKind::kVerifyMismatch:
    case OutcomeKind::kCancelled:
    case OutcomeKind::kMemoryTooLarge:
    case OutcomeKind::kCommandRefused:
    case OutcomeKind::kForeignAnswer:
      return true;
    default:
      return false;
  }
}

const Outcome* Find(const std::vector<Outcome>& outcomes, OutcomeKind kind) {
  const auto it =
      std::find_if(outcomes.begin(), outcomes.end(),
                   [kind](const Outcome& o) { return o.kind == kind; });
  return it == outcomes.end() ? nullptr : &*it;
}

}  // namespace

const Outcome* ShownOutcome(const std::vector<Outcome>& outcomes) {
  for (auto it = outcomes.rbegin(); it != outcomes.rend(); ++it) {
    if (it->kind == OutcomeKind::kNone) return nullptr;
    if (OnStatusLine(it->kind)) return &*it;
  }
  return nullptr;
}

const char* ExitStatusName(ExitStatus status) {
  switch (status) {
    case ExitStatus::kOk:
      return "ok";
    case ExitStatus::kDeviceFailure:
      return "device-failure";
    case ExitStatus::kUsage:
      return "usage";
    case ExitStatus::kNoDevice:
      return "no-device";
    case ExitStatus::kWrongSignature:
      return "wrong-signature";
    case ExitStatus::kVerifyMismatch:
      return "verify-mismatch";
    case ExitStatus::kFileError:
      return "file-error";
    case ExitStatus::kHangup:
    case ExitStatus::kInterrupted:
    case ExitStatus::kTerminated:
      return "interrupted";
  }
  return "device-failure";
}

RunVerdict JudgeRun(const RunState& state) {
  RunVerdict verdict;
  auto fail = [&](ExitStatus status, std::string message) {
    verdict.status = status;
    verdict.message = std::move(message);
    return verdict;
  };
  const Outcome* shown = ShownOutcome(state.outcomes);
  if (shown != nullptr) verdict.shown = shown->text;
  const bool failed = shown != nullptr && IsFailure(shown->kind);
  // A verdict of the device explains why the queue was emptied, so it comes
  // before the link's own failures.
  if (failed) {
    switch (shown->kind) {
      case OutcomeKind::kVerifyMismatch:
        verdict.verify_address = shown->address;
        return fail(ExitStatus::kVerifyMismatch, shown->text);
      case OutcomeKind::kSignatureWrong:
        return fail(ExitStatus::kWrongSignature, shown->text);
      case OutcomeKind::kCancelled:
        // The image could not be had (reload, empty image): nothing was sent.
        return fail(ExitStatus::kFileError, shown->text);
      default:
        break;
    }
  }
  if (const Outcome* cut = Find(state.outcomes, OutcomeKind::kImageTooLarge)) {
    return fail(ExitStatus::kFileError, cut->text);
  }
  if (state.port_failed) {
    return fail(ExitStatus::kNoDevice, "Порт закрыт: программатор отключён");
  }
  if (state.device_lost) {
    return fail(ExitStatus::kNoDevice, "Программатор не отвечает");
  }
  // The device answering another command is one way to reach the limit.
  const Outcome* foreign = Find(state.outcomes, OutcomeKind::kForeignAnswer);
  if (foreign != nullptr || Find(state.outcomes, OutcomeKind::kRetryLimit)) {
    std::string message = "Не могу выполнить команду! Очередь команд очищена.";
    // ... and the status line still says so.
    if (failed && shown->kind == OutcomeKind::kForeignAnswer) {
      message += " " + shown->text + ".";
    }
    return fail(ExitStatus::kDeviceFailure, message);
  }
  if (state.timed_out || !state.drained) {
    return fail(ExitStatus::kDeviceFailure, "Операция не завершилась в срок");
  }
  if (failed) {
    return fail(ExitStatus::kDeviceFailure, shown->text);
  }
  if (state.verify_expected &&
      (shown == nullptr || shown->kind != OutcomeKind::kAllRight)) {
    return fail(ExitStatus::kDeviceFailure,
                "Сверка не подтверждена: " + verdict.shown);
  }
  return verdict;
}

}  // namespace taktm
