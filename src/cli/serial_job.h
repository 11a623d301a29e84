// The serial number of one port's run: the image gets the number's place
// (filled up to it with 0xFF, a placeholder in it so that its chunk is
// written); the number itself is taken when the first command carrying it
// is next to go out, and put into every queued command that carries it.
#ifndef TAKT_CLI_SERIAL_JOB_H_
#define TAKT_CLI_SERIAL_JOB_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_args.h"
#include "cli/serial_stamp.h"

namespace taktm {

class CommandQueue;
class DataBuffer;
class SerialSource;
struct OperationRow;

class SerialJob {
 public:
  // `log_started` writes the log's line for a number about to be taken and
  // returns its error (empty: on the disk); none without a log.
  SerialJob(const SerialOption& option, SerialSource& counter,
            std::function<std::string(uint64_t)> log_started);

  // The place in the memory of the operation `row` (`memory` bytes, named
  // `memory_name`); the refusal when the number does not fit, else empty.
  std::string Place(const OperationRow& row, uint32_t memory,
                    const std::string& memory_name);
  // Makes room for the number in the image, with a placeholder in it.
  void PrepareImage(DataBuffer& buffer) const;
  // Whether the queued writes cover the whole place (a chip never gets a
  // part of its number).
  bool Covered(const CommandQueue& queue) const;
  // Stamps the number as one of `queue`'s listeners from now on: it is
  // taken just before the first command carrying it goes out, only for a
  // chip about to receive it, and written into `buffer` too. Unfollow
  // before the queue or the buffer goes.
  void Follow(CommandQueue& queue, DataBuffer& buffer);
  void Unfollow(CommandQueue& queue);

  const std::optional<uint64_t>& serial() const { return serial_; }
  // Taking the number failed: why.
  const std::string& error() const { return error_; }
  // The command carrying the number went out.
  bool sent() const { return stamper_ && stamper_->sent(); }

 private:
  // Takes the number, or records why it could not.
  std::optional<std::vector<uint8_t>> Take(DataBuffer& buffer);

  const SerialOption& option_;
  SerialSource& counter_;
  const std::function<std::string(uint64_t)> log_started_;
  std::optional<SerialPlace> place_;
  std::optional<uint64_t> serial_;
  std::string error_;
  std::optional<SerialStamper> stamper_;
};

}  // namespace taktm

#endif  // TAKT_CLI_SERIAL_JOB_H_
