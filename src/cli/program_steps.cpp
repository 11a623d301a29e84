#include "cli/program_steps.h"

#include "programming/opcodes.h"

namespace taktm {

std::vector<ProgramStep> ProgramPlan(const CliOptions& options) {
  const bool flash = !options.flash_file.empty();
  const bool eeprom = !options.eeprom_file.empty();
  std::vector<ProgramStep> plan = {ProgramStep::kSignature};
  if (flash || eeprom) plan.push_back(ProgramStep::kErase);
  if (flash) plan.push_back(ProgramStep::kFlash);
  if (eeprom) plan.push_back(ProgramStep::kEeprom);
  if (options.fuses) plan.push_back(ProgramStep::kFuses);
  if (options.locks) plan.push_back(ProgramStep::kLocks);
  return plan;
}

const char* ProgramStepWord(ProgramStep step) {
  switch (step) {
    case ProgramStep::kSignature:
      return "signature";
    case ProgramStep::kErase:
      return "erase";
    case ProgramStep::kFlash:
      return "flash";
    case ProgramStep::kEeprom:
      return "eeprom";
    case ProgramStep::kFuses:
      return "fuses";
    case ProgramStep::kLocks:
      return "locks";
  }
  return "";
}

const char* ProgramStepTitle(ProgramStep step) {
  switch (step) {
    case ProgramStep::kSignature:
      return "проверка сигнатуры";
    case ProgramStep::kErase:
      return "стирание";
    case ProgramStep::kFlash:
      return "запись и сверка памяти программ";
    case ProgramStep::kEeprom:
      return "запись и сверка EEPROM";
    case ProgramStep::kFuses:
      return "запись FUSE битов";
    case ProgramStep::kLocks:
      return "запись LOCK битов";
  }
  return "";
}

int ProgramStepOperation(ProgramStep step, const CliOptions& options) {
  switch (step) {
    case ProgramStep::kSignature:
      return OP_READ_SIGNATURE;
    case ProgramStep::kErase:
      return options.flash_file.empty() ? OP_ERASE_EEPROM : OP_ERASE_ALL;
    case ProgramStep::kFlash:
      return OP_WRITE_FLASH;
    case ProgramStep::kEeprom:
      return OP_WRITE_EEPROM;
    case ProgramStep::kFuses:
      return OP_WRITE_FUSES;
    case ProgramStep::kLocks:
      return OP_WRITE_LOCKS;
  }
  return -1;
}

bool ProgramStepOptional(ProgramStep step) {
  return step == ProgramStep::kSignature || step == ProgramStep::kErase;
}

OptionsModel ProgramRunOptions(OptionsModel options) {
  for (Option o : {Option::kSignatureBeforeErase, Option::kSignatureAfterErase,
                   Option::kSignatureBeforeEeprom, Option::kEraseAll,
                   Option::kEraseEeprom, Option::kSetLockBits}) {
    options.SetTicked(o, false);
  }
  options.SetTicked(Option::kVerifyFlash, true);
  options.SetTicked(Option::kVerifyEeprom, true);
  return options;
}

std::string ProgramStepFailure(ProgramStep step, const std::string& message) {
  return std::string("Программирование остановлено на шаге \"") +
         ProgramStepTitle(step) + "\": " + message;
}

}  // namespace taktm
