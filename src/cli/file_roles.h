// One file, one role: the serial counter, the production log, the frame
// trace and the command's own file (the image read or the output written)
// must be different files. A log that is also the counter, or the image,
// would have its lines lost in a renamed file or written into the next chip;
// a trace saved over the image would replace it.
#ifndef TAKT_CLI_FILE_ROLES_H_
#define TAKT_CLI_FILE_ROLES_H_

#include <string>

#include "cli/cli_args.h"

namespace taktm {

// Whether `a` and `b` name one file: the same file after links (device and
// inode, or the system's file id), or, where either is still missing, the
// same place once links in the folders are followed.
bool SameFile(const std::string& a, const std::string& b);

// The usage error for two roles given one file, empty when every role has
// a file of its own.
std::string SharedFileError(const CliOptions& options);

}  // namespace taktm

#endif  // TAKT_CLI_FILE_ROLES_H_
