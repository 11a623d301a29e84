// The short options of takt-m-cli, as the users of comparable tools type
// them: -p port, -b speed, -c chip, -q quiet, -V version, -h help. They are
// turned into their long forms before the command line is read, so every
// rule of the long form applies to them alike.
#ifndef TAKT_CLI_SHORT_OPTIONS_H_
#define TAKT_CLI_SHORT_OPTIONS_H_

#include <string>
#include <vector>

namespace taktm {

// `args` (without the program name) with each short option in its long
// form: "-p X" and "-pX" as "--port X" and "--port=X", "-qV" as "--quiet
// --version" (a letter that takes a value takes the rest of its word, or the
// next word). Values of options and everything after "--" are left alone,
// so are words with a letter that is no short option (the reader refuses
// those) and "-" alone.
std::vector<std::string> ExpandShortOptions(
    const std::vector<std::string>& args);

// Whether `long_name` ("--port") is an option that takes a value; the one
// list both the reader and the short-option expansion go by.
bool IsValueOption(const std::string& long_name);

// Whether the command line asks for JSON output (--json among the options),
// read without judging the rest: a usage error is then reported as JSON too.
bool AsksForJson(const std::vector<std::string>& args);

}  // namespace taktm

#endif  // TAKT_CLI_SHORT_OPTIONS_H_
