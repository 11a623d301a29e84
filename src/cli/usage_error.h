// A usage error of takt-m-cli (the command line could not be read) as the
// JSON object that --json promises for every failure.
#ifndef TAKT_CLI_USAGE_ERROR_H_
#define TAKT_CLI_USAGE_ERROR_H_

#include <string>

namespace taktm {

// {"status":"usage","exit":2,"message":...}
std::string UsageErrorJson(const std::string& message);

}  // namespace taktm

#endif  // TAKT_CLI_USAGE_ERROR_H_
