// The counter and the log a run's options name, opened and checked before
// any port is: a file or a database each.
#ifndef TAKT_CLI_RECORD_SETUP_H_
#define TAKT_CLI_RECORD_SETUP_H_

#include <memory>
#include <string>

#include "cli/cli_args.h"
#include "cli/record_stores.h"

namespace taktm {

struct RecordStores {
  std::unique_ptr<SerialSource> counter;  // with --serial
  std::unique_ptr<ChipLog> log;           // with --log
};

// Opens both; the counter must give a number, and one that fits, before
// any chip is touched. The error text, empty on success.
std::string OpenRecordStores(const CliOptions& options, RecordStores* stores);

}  // namespace taktm

#endif  // TAKT_CLI_RECORD_SETUP_H_
