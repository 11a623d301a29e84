// The progress of a run in data bytes: the bytes the queued memory commands
// read, write or verify, and how many of them the device has answered, with
// the speed since the first of those commands was sent.
#ifndef TAKT_CLI_BYTE_PROGRESS_H_
#define TAKT_CLI_BYTE_PROGRESS_H_

#include <cstdint>
#include <deque>
#include <optional>

#include "link/command_queue.h"

namespace taktm {

// The data bytes a command carries or asks for (its count byte), 0 for a
// command that is no memory read, write or verify.
uint32_t DataBytesOf(const std::vector<uint8_t>& command);

class ByteProgress {
 public:
  // The run is what the queue holds now.
  void Start(const CommandQueue& queue);
  // A further run, counted on behind the ones before (the steps of one
  // program run): the queue's bytes are added, the bytes done and the time
  // of the first kept.
  void Continue(const CommandQueue& queue);
  // After each change of the queue: one command appended, one removed, or
  // the rest of a read answered in part put behind the head (its bytes move
  // from the head to the new entry).
  // A head removed without having been sent was cleared away, not answered.
  void Follow(const CommandQueue& queue);
  // The head command went out.
  void HeadSent(const CommandQueue& queue, int64_t now_ms);

  uint64_t total() const { return total_; }
  uint64_t done() const { return done_; }
  // Bytes per second since the first memory command was sent; nothing
  // before any byte is done.
  std::optional<double> BytesPerSecond(int64_t now_ms) const;
  // When the first memory command went out.
  std::optional<int64_t> first_sent_ms() const { return first_sent_ms_; }

 private:
  std::deque<uint32_t> queued_;  // data bytes of each queued entry, head first
  bool head_sent_ = false;
  uint64_t inserts_seen_ = 0;  // the queue's InsertsAfterHead() followed
  uint64_t total_ = 0;
  uint64_t done_ = 0;
  std::optional<int64_t> first_sent_ms_;
};

}  // namespace taktm

#endif  // TAKT_CLI_BYTE_PROGRESS_H_
