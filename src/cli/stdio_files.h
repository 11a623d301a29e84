// The file "-" of a command (standard input for a write or verify, standard
// output for a read) and file names as the system gives them: bytes, never
// recoded, so that a name that is not valid UTF-8 still names its file.
#ifndef TAKT_CLI_STDIO_FILES_H_
#define TAKT_CLI_STDIO_FILES_H_

#include <cstdint>
#include <string>
#include <vector>

namespace taktm {

struct StdinRead {
  bool failed = false;     // a read error
  bool too_large = false;  // more than the limit given
  std::vector<uint8_t> bytes;
};

// Reads standard input to its end (binary), or up to one byte past `limit`.
// It is read once: every later call (another port's run of the same
// command) gets the same bytes.
const StdinRead& ReadStandardInput(uint64_t limit);

// Makes standard output carry bytes unchanged (no line-end translation).
void SetStandardOutputBinary();

// The absolute form of `path`, made from its bytes.
std::string AbsoluteName(const std::string& path);

// The name a record (JSON, production log) gives a command's file: "-"
// stays as it is, any other name is made absolute.
std::string RecordedFileName(const std::string& file);

}  // namespace taktm

#endif  // TAKT_CLI_STDIO_FILES_H_
