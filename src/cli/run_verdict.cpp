#include "cli/run_verdict.h"

#include <algorithm>

#include "link/command_queue.h"
#include "programming/programming_texts.h"

namespace taktm {
namespace {

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

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

std::optional<uint32_t> VerifyErrorAddress(const std::string& status_text) {
  const std::string before = kVerifyErrorBefore;
  if (status_text.rfind(before, 0) != 0 ||
      !EndsWith(status_text, kVerifyErrorAfter)) {
    return std::nullopt;
  }
  const size_t end = status_text.size() - std::string(kVerifyErrorAfter).size();
  if (end <= before.size() || end - before.size() > 8) return std::nullopt;
  uint32_t address = 0;
  for (size_t i = before.size(); i < end; ++i) {
    const char c = status_text[i];
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return std::nullopt;
    }
    address = address << 4 | static_cast<uint32_t>(digit);
  }
  return address;
}

RunVerdict JudgeRun(const RunState& state) {
  RunVerdict verdict;
  auto fail = [&](ExitStatus status, std::string message) {
    verdict.status = status;
    verdict.message = std::move(message);
    return verdict;
  };
  // A verdict of the device explains why the queue was emptied, so it comes
  // before the link's own failures.
  if (state.status_error) {
    if (const auto address = VerifyErrorAddress(state.status_text)) {
      verdict.verify_address = address;
      return fail(ExitStatus::kVerifyMismatch, state.status_text);
    }
    if (EndsWith(state.status_text, kSignatureWrong)) {
      return fail(ExitStatus::kWrongSignature, state.status_text);
    }
    // The image could not be had (reload, empty image): nothing was sent.
    if (EndsWith(state.status_text, kWriteCancelled) ||
        EndsWith(state.status_text, kVerifyCancelled)) {
      return fail(ExitStatus::kFileError, state.status_text);
    }
  }
  if (std::find(state.warnings.begin(), state.warnings.end(), kImageTooLarge) !=
      state.warnings.end()) {
    return fail(ExitStatus::kFileError, kImageTooLarge);
  }
  if (state.port_failed) {
    return fail(ExitStatus::kNoDevice, "Порт закрыт: программатор отключён");
  }
  if (state.device_lost) {
    return fail(ExitStatus::kNoDevice, "Программатор не отвечает");
  }
  if (std::find(state.warnings.begin(), state.warnings.end(),
                kRetryLimitWarning) != state.warnings.end()) {
    std::string message = "Не могу выполнить команду! Очередь команд очищена.";
    // The device answered another command: the status line says so.
    if (state.status_error && state.status_text == kForeignAnswer) {
      message += std::string(" ") + kForeignAnswer + ".";
    }
    return fail(ExitStatus::kDeviceFailure, message);
  }
  if (state.timed_out || !state.drained) {
    return fail(ExitStatus::kDeviceFailure, "Операция не завершилась в срок");
  }
  if (state.status_error) {
    return fail(ExitStatus::kDeviceFailure, state.status_text);
  }
  if (state.verify_expected && state.status_text != kAllRight) {
    return fail(ExitStatus::kDeviceFailure,
                "Сверка не подтверждена: " + state.status_text);
  }
  return verdict;
}

}  // namespace taktm
