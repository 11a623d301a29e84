// The commands of takt-m-cli: the command line's own (ports, info, chips,
// ops, blank-check, checksum) and one for every operation of the operation
// table that has a command-line word. Words, arguments, the several-port
// rule, --range and the usage lines all come from here; an operation word is
// added to the command line by the operation table alone.
#ifndef TAKT_CLI_COMMAND_TABLE_H_
#define TAKT_CLI_COMMAND_TABLE_H_

#include <string>

#include "cli/cli_args.h"

namespace taktm {

// The usage text's lines for every listed command, in the table's order:
// the word and its argument, then the description from column 25.
std::string CommandUsageLines();

}  // namespace taktm

#endif  // TAKT_CLI_COMMAND_TABLE_H_
