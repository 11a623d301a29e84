#include "link/command_queue.h"

#include <algorithm>

namespace taktm {

bool CommandQueue::EnqueueCommand(const uint8_t* bytes, size_t length) {
  if (length == 0 || length > kMaxPayload) return false;
  entries_.emplace_back(bytes, bytes + length);
  const int n = static_cast<int>(entries_.size());
  SetProgress(n, n, progress_.visible || n >= 2);
  return true;
}

bool CommandQueue::EnqueueCommand(std::initializer_list<uint8_t> bytes) {
  return EnqueueCommand(bytes.begin(), bytes.size());
}

void CommandQueue::InsertAfterHead(std::vector<uint8_t> bytes) {
  if (bytes.empty()) return;
  if (bytes.size() > kMaxPayload) bytes.resize(kMaxPayload);
  entries_.insert(entries_.empty() ? entries_.end() : entries_.begin() + 1,
                  std::move(bytes));
  ++inserts_after_head_;
  const int n = static_cast<int>(entries_.size());
  SetProgress(std::max(progress_.maximum, n), n, progress_.visible || n >= 2);
}

void CommandQueue::RemoveHead() {
  if (entries_.empty()) return;
  entries_.pop_front();
  head_sends_ = 0;
  head_first_send_ = 0;
  head_answered_otherwise_ = false;
  const int n = static_cast<int>(entries_.size());
  SetProgress(progress_.maximum, n, n == 0 ? false : progress_.visible);
}

void CommandQueue::ClearQueue() {
  while (!entries_.empty()) RemoveHead();
}

void CommandQueue::SendHead() {
  if (entries_.empty()) return;
  const std::vector<uint8_t>& head = entries_.front();
  LayOutFrame(head.data(), static_cast<uint8_t>(head.size()), transmit_frame_);
  host_.WriteData(transmit_frame_.bytes.data(),
                  static_cast<uint16_t>(transmit_frame_.size));
  ++unanswered_sends_;
  ++sends_total_;
  if (head_sends_++ == 0) head_first_send_ = sends_total_;
  if (unanswered_sends_ >= kSendLimit) {
    limit_after_foreign_reply_ = head_answered_otherwise_;
    ClearQueue();
    unanswered_sends_ = 0;
    SetProgress(progress_.maximum, progress_.position, false);
    host_.ShowRetryWarning(kRetryLimitWarning);
  }
}

void CommandQueue::SetProgress(int maximum, int position, bool visible) {
  progress_ = ProgressModel{maximum, position, visible};
  host_.ProgressChanged();
}

}  // namespace taktm
