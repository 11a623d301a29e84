// The progress of a run in data bytes: the bytes the queued memory commands
// read, write or verify, and how many of them the device has answered, with
// the speed since the first of those commands was sent. It follows the
// queue as one of its listeners.
#ifndef TAKT_CLI_BYTE_PROGRESS_H_
#define TAKT_CLI_BYTE_PROGRESS_H_

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>

#include "link/command_queue.h"

namespace taktm {

// The data bytes a command carries or asks for (its count byte), 0 for a
// command that is no memory read, write or verify.
uint32_t DataBytesOf(const std::vector<uint8_t>& command);

class ByteProgress final : public QueueListener {
 public:
  // `now_ms`: the clock the first send is stamped with.
  explicit ByteProgress(std::function<int64_t()> now_ms)
      : now_ms_(std::move(now_ms)) {}
  ~ByteProgress() { Stop(); }
  ByteProgress(const ByteProgress&) = delete;
  ByteProgress& operator=(const ByteProgress&) = delete;

  // The run is what the queue holds now; followed from here until Stop.
  void Start(CommandQueue& queue);
  void Stop();
  // A further run, counted on behind the ones before (the steps of one
  // program run): the queue's bytes are added, the bytes done and the time
  // of the first kept.
  void Continue(CommandQueue& queue);

  uint64_t total() const { return total_; }
  uint64_t done() const { return done_; }
  // Bytes per second since the first memory command was sent; nothing
  // before any byte is done.
  std::optional<double> BytesPerSecond(int64_t now_ms) const;
  // When the first memory command went out.
  std::optional<int64_t> first_sent_ms() const { return first_sent_ms_; }

  // Called after each change the queue reported.
  std::function<void()> on_change;

  // ---- QueueListener ----
  void Appended(const QueueEntry& entry) override;
  // The rest of a read answered in part: its bytes move from the head to
  // the new entry.
  void InsertedAfterHead(const QueueEntry& entry) override;
  void Sent(const QueueEntry& head, int head_sends) override;
  // A head removed without having been sent was cleared away, not answered.
  void Removed(const QueueEntry& entry, bool answered) override;

 private:
  void Changed() {
    if (on_change) on_change();
  }

  const std::function<int64_t()> now_ms_;
  CommandQueue* queue_ = nullptr;
  std::deque<uint32_t> queued_;  // data bytes of each queued entry, head first
  bool head_sent_ = false;
  uint64_t total_ = 0;
  uint64_t done_ = 0;
  std::optional<int64_t> first_sent_ms_;
};

}  // namespace taktm

#endif  // TAKT_CLI_BYTE_PROGRESS_H_
