// The command line of `program`: the images and bits it writes (--flash,
// --eeprom, --fuses, --locks) and the memory --serial names ("eeprom:" or
// "flash:" before its address).
#ifndef TAKT_CLI_PROGRAM_ARGS_H_
#define TAKT_CLI_PROGRAM_ARGS_H_

#include <optional>
#include <string>

#include "cli/cli_args.h"

namespace taktm {

bool IsProgramOption(const std::string& name);
// Takes `value` of option `name`; the usage error, else empty.
std::string TakeProgramOption(const std::string& name, const std::string& value,
                              CliOptions& options);
// --serial with its memory named first or not: the option, or nothing with
// `error` set.
std::optional<SerialOption> ParseSerialWithMemory(const std::string& text,
                                                  std::string* error);
// Once the command is known: what program needs and the others refuse; the
// usage error, else empty.
std::string CheckProgramOptions(const CliOptions& options);

}  // namespace taktm

#endif  // TAKT_CLI_PROGRAM_ARGS_H_
