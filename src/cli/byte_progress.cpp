#include "cli/byte_progress.h"

#include <algorithm>

#include "programming/opcodes.h"

namespace taktm {

uint32_t DataBytesOf(const std::vector<uint8_t>& command) {
  // Opcode, address (4 bytes), count; writes and verifies carry the bytes.
  if (command.size() < 6) return 0;
  switch (command[0]) {
    case OP_READ_FLASH:
    case OP_WRITE_FLASH:
    case OP_VERIFY_FLASH:
    case OP_READ_EEPROM:
    case OP_WRITE_EEPROM:
    case OP_VERIFY_EEPROM:
    case OP_READ_RAM:
    case OP_WRITE_RAM:
    case OP_VERIFY_RAM:
      return command[5];
    default:
      return 0;
  }
}

void ByteProgress::Start(const CommandQueue& queue) {
  queued_.clear();
  head_sent_ = false;
  total_ = 0;
  done_ = 0;
  first_sent_ms_.reset();
  inserts_seen_ = queue.InsertsAfterHead();
  for (size_t i = 0; i < queue.count(); ++i) {
    queued_.push_back(DataBytesOf(queue.entry(i)));
    total_ += queued_.back();
  }
}

void ByteProgress::Continue(const CommandQueue& queue) {
  const uint64_t done = done_;
  const std::optional<int64_t> first = first_sent_ms_;
  Start(queue);
  // The runs before have ended: their total is what they did.
  total_ += done;
  done_ = done;
  first_sent_ms_ = first;
}

void ByteProgress::Follow(const CommandQueue& queue) {
  // The queue tells of every append, insertion and removal, so the two
  // differ by at most one entry; a clear arrives as a run of removals.
  if (inserts_seen_ != queue.InsertsAfterHead() && !queued_.empty() &&
      queue.count() == queued_.size() + 1) {
    inserts_seen_ = queue.InsertsAfterHead();
    const uint32_t rest = DataBytesOf(queue.entry(1));
    queued_.front() -= std::min(rest, queued_.front());
    queued_.insert(queued_.begin() + 1, rest);
    return;
  }
  inserts_seen_ = queue.InsertsAfterHead();
  while (queued_.size() > queue.count()) {
    if (head_sent_) done_ += queued_.front();
    queued_.pop_front();
    head_sent_ = false;
  }
  while (queued_.size() < queue.count()) {
    queued_.push_back(DataBytesOf(queue.entry(queued_.size())));
    total_ += queued_.back();
  }
}

void ByteProgress::HeadSent(const CommandQueue& queue, int64_t now_ms) {
  if (queue.empty()) return;
  head_sent_ = true;
  if (!first_sent_ms_ && DataBytesOf(queue.entry(0)) > 0) {
    first_sent_ms_ = now_ms;
  }
}

std::optional<double> ByteProgress::BytesPerSecond(int64_t now_ms) const {
  if (!first_sent_ms_ || done_ == 0 || now_ms <= *first_sent_ms_) {
    return std::nullopt;
  }
  return static_cast<double>(done_) * 1000.0 /
         static_cast<double>(now_ms - *first_sent_ms_);
}

}  // namespace taktm
