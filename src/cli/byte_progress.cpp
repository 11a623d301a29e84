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

void ByteProgress::Start(CommandQueue& queue) {
  Stop();
  queue_ = &queue;
  queue.AddListener(this);
  queued_.clear();
  head_sent_ = false;
  total_ = 0;
  done_ = 0;
  first_sent_ms_.reset();
  for (size_t i = 0; i < queue.count(); ++i) {
    queued_.push_back(DataBytesOf(queue.entry(i)));
    total_ += queued_.back();
  }
}

void ByteProgress::Continue(CommandQueue& queue) {
  const uint64_t done = done_;
  const std::optional<int64_t> first = first_sent_ms_;
  Start(queue);
  // The runs before have ended: their total is what they did.
  total_ += done;
  done_ = done;
  first_sent_ms_ = first;
}

void ByteProgress::Stop() {
  if (queue_ != nullptr) queue_->RemoveListener(this);
  queue_ = nullptr;
}

void ByteProgress::Appended(const QueueEntry& entry) {
  queued_.push_back(DataBytesOf(entry.bytes));
  total_ += queued_.back();
  Changed();
}

void ByteProgress::InsertedAfterHead(const QueueEntry& entry) {
  const uint32_t rest = DataBytesOf(entry.bytes);
  if (queued_.empty()) {  // it became the head
    queued_.push_back(rest);
    total_ += rest;
  } else {
    queued_.front() -= std::min(rest, queued_.front());
    queued_.insert(queued_.begin() + 1, rest);
  }
  Changed();
}

void ByteProgress::Sent(const QueueEntry& head, int) {
  head_sent_ = true;
  if (!first_sent_ms_ && DataBytesOf(head.bytes) > 0) {
    first_sent_ms_ = now_ms_();
  }
}

void ByteProgress::Removed(const QueueEntry&, bool) {
  if (queued_.empty()) return;
  if (head_sent_) done_ += queued_.front();
  queued_.pop_front();
  head_sent_ = false;
  Changed();
}

std::optional<double> ByteProgress::BytesPerSecond(int64_t now_ms) const {
  if (!first_sent_ms_ || done_ == 0 || now_ms <= *first_sent_ms_) {
    return std::nullopt;
  }
  return static_cast<double>(done_) * 1000.0 /
         static_cast<double>(now_ms - *first_sent_ms_);
}

}  // namespace taktm
