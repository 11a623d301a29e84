// The command line's options for the file of a read, write or verify:
// --format and --offset, and the checks that tie them to the command.
#ifndef TAKT_CLI_FILE_OPTIONS_H_
#define TAKT_CLI_FILE_OPTIONS_H_

#include <string>

#include "cli/cli_args.h"

namespace taktm {

// Sets --format (`auto`, `ihex`, `srec`, `elf`, `raw`) or --offset (decimal
// or 0x hexadecimal, below the buffer limit) from `value`; the usage error,
// or an empty string.
std::string ParseFileOption(const std::string& name, const std::string& value,
                            CliOptions* options);

// The usage error of a combination that cannot be carried out (an ELF
// save, an offset for a read or for a format with its own addresses), or an
// empty string.
std::string CheckFileOptions(const CliOptions& options);

// The file name that stands for standard input or output.
inline constexpr char kStdioName[] = "-";

}  // namespace taktm

#endif  // TAKT_CLI_FILE_OPTIONS_H_
