// The steps of `program`, in the order a product is programmed: the
// signature first (a wrong chip gets nothing), the erase when a memory is
// written, each memory written and verified, then the fuses, the locks last
// (they may forbid the rest).
#ifndef TAKT_CLI_PROGRAM_STEPS_H_
#define TAKT_CLI_PROGRAM_STEPS_H_

#include <string>
#include <vector>

#include "cli/cli_args.h"
#include "config/options.h"

namespace taktm {

enum class ProgramStep { kSignature, kErase, kFlash, kEeprom, kFuses, kLocks };

// The steps `options` asks for, in order.
std::vector<ProgramStep> ProgramPlan(const CliOptions& options);
// The step's word in JSON and the log ("signature", "flash"...).
const char* ProgramStepWord(ProgramStep step);
// The step's name in a message ("запись EEPROM").
const char* ProgramStepTitle(ProgramStep step);
// The operation that carries the step out; the erase is the whole chip's
// when the flash is written, the EEPROM's alone otherwise (an EEPROM-only
// run must not wipe the firmware).
int ProgramStepOperation(ProgramStep step, const CliOptions& options);
// Steps a chip may lack: skipped rather than refused, as the write
// sequences skip them.
bool ProgramStepOptional(ProgramStep step);

// The options a program run holds: the steps do the signature, the erase
// and the locks themselves, so the write sequences leave them out; each
// memory written is verified.
OptionsModel ProgramRunOptions(OptionsModel options);

// The message of a run stopped at `step`.
std::string ProgramStepFailure(ProgramStep step, const std::string& message);

}  // namespace taktm

#endif  // TAKT_CLI_PROGRAM_STEPS_H_
