// `program`: one discovery and chip selection, then the plan's steps
// (program_steps.h) one after another in the same run; the first failure
// stops the rest, and the run's one result and one log line name the step.
#include <string>
#include <vector>

#include "buffer/working_file.h"
#include "cli/memory_commands.h"
#include "cli/mismatch_report.h"
#include "cli/port_report.h"
#include "cli/port_run.h"
#include "cli/stdio_files.h"
#include "link/memory_command.h"
#include "programming/opcodes.h"
#include "programming/operation_table.h"
#include "programming/programming_texts.h"

namespace taktm {
namespace {

bool IsMemoryStep(ProgramStep step) {
  return step == ProgramStep::kFlash || step == ProgramStep::kEeprom;
}

}  // namespace

// Both images are read (and refused) before the port is opened; each is
// read again at its step, as the window's write reloads its file.
bool PortRun::LoadProgramImages() {
  plan_ = ProgramPlan(options_);
  AddFileOptions();
  for (const auto& [memory, file] :
       {std::pair<const char*, std::string>{"flash", options_.flash_file},
        std::pair<const char*, std::string>{"eeprom", options_.eeprom_file}}) {
    if (file.empty()) continue;
    JsonObject image;
    image.Add("memory", memory);
    if (!LoadInputFile(file, image)) return false;
    image_facts_.push_back(image);
    image_sizes_.push_back(host_.core().buffer().size());
    images_.push_back({memory, RecordedFileName(file), std::string()});
  }
  return true;
}

// Everything that can be refused is refused before the first command of a
// step goes out: operations the chip lacks, bit names it does not have,
// images larger than their memories, a serial number's place.
void PortRun::StartProgram() {
  ChipProgrammer& p = programmer();
  for (ProgramStep step : plan_) {
    const int code = ProgramStepOperation(step, options_);
    if (!ProgramStepOptional(step) && !p.IsOperationAllowed(code)) {
      return Finish(ExitStatus::kUsage, std::string("Операция \"") +
                                            OperationName(code) +
                                            "\" не разрешена для этой "
                                            "микросхемы. Ничего не записано.");
    }
  }
  for (BitKind kind : {BitKind::kFuse, BitKind::kLock}) {
    const std::optional<std::string>& bits =
        kind == BitKind::kFuse ? options_.fuses : options_.locks;
    if (!bits) continue;
    if (!ParseTicks(*bits, kind,
                    kind == BitKind::kFuse ? &fuse_ticks_ : &lock_ticks_)) {
      return;
    }
  }
  for (size_t i = 0; i < images_.size(); ++i) {
    const bool flash = images_[i].memory == "flash";
    const uint32_t memory = flash ? p.FlashSize() : p.EepromSize();
    if (image_sizes_[i] > memory) {
      return Finish(ExitStatus::kFileError,
                    ImageTooLargeText(image_sizes_[i], memory, flash, true));
    }
  }
  if (options_.serial &&
      !StartSerial(options_.serial->memory == MemoryTarget::kEeprom
                       ? OP_WRITE_EEPROM
                       : OP_WRITE_FLASH)) {
    return;
  }
  BeginOperation();
  step_ = 0;
  RunProgramStep();
}

void PortRun::RunProgramStep() {
  if (step_ == plan_.size()) {
    facts().AddNumber("operation_ms", clock_.elapsed() - operation_started_ms_);
    Say("Программирование завершено: все шаги выполнены.");
    return Finish(ExitStatus::kOk);
  }
  const ProgramStep step = plan_[step_];
  const int code = ProgramStepOperation(step, options_);
  ChipProgrammer& p = programmer();
  if (!p.IsOperationAllowed(code)) {  // a signature or erase not offered
    ++step_;
    return RunProgramStep();
  }
  step_started_ = true;
  verify_expected_ = false;
  switch (step) {
    case ProgramStep::kSignature:
    case ProgramStep::kErase:
      p.RunOperation(chip_row_, code);
      break;
    case ProgramStep::kFlash:
    case ProgramStep::kEeprom:
      if (!QueueMemoryStep(step, code)) return;
      break;
    case ProgramStep::kFuses:
    case ProgramStep::kLocks:
      QueueBitStep(step, code);
      break;
  }
  Wait([this] { return host_.queue().empty(); },
       [this](bool drained) { AfterProgramStep(drained); });
}

// The memory's image into the buffer again (its file may be read as the
// write reloads it), the serial number's place made in the image whose
// memory it names, and the write and its verify queued.
bool PortRun::QueueMemoryStep(ProgramStep step, int code) {
  ChipProgrammer& p = programmer();
  const bool flash = step == ProgramStep::kFlash;
  const std::string& file = flash ? options_.flash_file : options_.eeprom_file;
  JsonObject ignored;
  if (!LoadInputFile(file, ignored)) return false;
  const bool numbered =
      serial_ && (options_.serial->memory == MemoryTarget::kEeprom) == !flash;
  verify_expected_ = p.QueuesVerify(code);
  if (RunWithImage(code, numbered)) {
    host_.queue().ClearQueue();
    Finish(ExitStatus::kFileError, kImageTooLarge);
    return false;
  }
  if (numbered && !serial_->Covered(host_.queue())) {
    host_.queue().ClearQueue();
    Finish(ExitStatus::kDeviceFailure,
           "Место номера не попало в записываемые данные.");
    return false;
  }
  for (ChipRecord::Image& image : images_) {
    if (image.memory == (flash ? "flash" : "eeprom")) {
      image.sha256 = image_sha256_;
    }
  }
  // The bytes of both memories' steps in one count.
  if (step == ProgramStep::kEeprom && !options_.flash_file.empty()) {
    bytes_.Continue(host_.queue());
  } else {
    bytes_.Start(host_.queue());
  }
  FollowStep(ProgramStepTitle(step), numbered);
  return true;
}

void PortRun::QueueBitStep(ProgramStep step, int code) {
  bit_kind_ = step == ProgramStep::kFuses ? BitKind::kFuse : BitKind::kLock;
  ticks_ = step == ProgramStep::kFuses ? fuse_ticks_ : lock_ticks_;
  programmer().RunOperation(chip_row_, code);
  WriteTicks();
}

void PortRun::AfterProgramStep(bool drained) {
  ChipProgrammer& p = programmer();
  const ProgramStep step = plan_[step_];
  const std::optional<RunState> state = EndStep(drained);
  if (!state) return;
  const RunVerdict verdict = JudgeRun(*state);
  if (FinishedByFailure(verdict)) return;
  // A signature reply without the device's confirmation is no match: a
  // wrong chip gets nothing written.
  if (step == ProgramStep::kSignature && !p.SignatureOk()) {
    return Finish(ExitStatus::kWrongSignature, verdict.shown.empty()
                                                   ? "Сигнатура не подтверждена"
                                                   : verdict.shown);
  }
  if (IsMemoryStep(step)) {
    FollowQueue();
    Say(std::string(step == ProgramStep::kFlash ? "Память программ"
                                                : "EEPROM") +
        ": " +
        (verify_expected_ ? verdict.shown
                          : std::string("Записано без сверки.")));
  }
  if (step == ProgramStep::kFuses || step == ProgramStep::kLocks) {
    // A device that dropped the write and repeated an earlier reply would
    // otherwise pass the bits asked for off as the chip's.
    const int read =
        step == ProgramStep::kFuses ? OP_READ_FUSES : OP_READ_LOCKS;
    if (p.IsOperationAllowed(read)) {
      p.RunOperation(chip_row_, read);
      return Wait([this] { return host_.queue().empty(); },
                  [this](bool drained) { AfterProgramReadBack(drained); });
    }
  }
  NextProgramStep();
}

void PortRun::AfterProgramReadBack(bool drained) {
  const RunVerdict verdict = JudgeRun(StateAfter(Step::kReadBack, drained));
  if (verdict.status != ExitStatus::kOk) {
    return Finish(verdict.status, verdict.message);
  }
  if (FinishedByBitsMismatch()) return;
  NextProgramStep();
}

void PortRun::NextProgramStep() {
  steps_done_.push_back(plan_[step_]);
  ++step_;
  step_started_ = false;
  RunProgramStep();
}

void PortRun::ProgramEnds(ExitStatus status, std::string* message) {
  std::vector<std::string> done;
  for (ProgramStep step : steps_done_) done.push_back(ProgramStepWord(step));
  facts().Add("steps", done);
  std::vector<JsonObject> images = image_facts_;
  for (size_t i = 0; i < images.size() && i < images_.size(); ++i) {
    if (!images_[i].sha256.empty()) images[i].Add("sha256", images_[i].sha256);
  }
  if (!images.empty()) facts().Add("images", images);
  if (options_.fuses) facts().Add("fuses", *options_.fuses);
  if (options_.locks) facts().Add("locks", *options_.locks);
  if (status == ExitStatus::kOk || !step_started_ || step_ >= plan_.size()) {
    return;
  }
  failed_step_ = ProgramStepWord(plan_[step_]);
  facts().Add("step", failed_step_);
  *message = ProgramStepFailure(plan_[step_], *message);
}

}  // namespace taktm
