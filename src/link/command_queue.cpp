#include "link/command_queue.h"

#include <algorithm>

namespace taktm {

template <typename Event>
void CommandQueue::Tell(Event event) {
  if (listeners_.empty()) return;
  const std::vector<QueueListener*> now = listeners_;
  for (QueueListener* listener : now) {
    if (std::find(listeners_.begin(), listeners_.end(), listener) !=
        listeners_.end()) {
      event(*listener);
    }
  }
}

void CommandQueue::AddListener(QueueListener* listener) {
  if (std::find(listeners_.begin(), listeners_.end(), listener) ==
      listeners_.end()) {
    listeners_.push_back(listener);
  }
}

void CommandQueue::RemoveListener(QueueListener* listener) {
  listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener),
                   listeners_.end());
}

bool CommandQueue::EnqueueCommand(const uint8_t* bytes, size_t length,
                                  CommandTag tag) {
  if (length == 0 || length > kMaxPayload) return false;
  entries_.push_back(
      QueueEntry{std::vector<uint8_t>(bytes, bytes + length), tag});
  const int n = static_cast<int>(entries_.size());
  SetProgress(n, n, progress_.visible || n >= 2);
  // A copy: a listener may change the queue.
  const QueueEntry added = entries_.back();
  Tell([&](QueueListener& l) { l.Appended(added); });
  return true;
}

bool CommandQueue::EnqueueCommand(std::initializer_list<uint8_t> bytes) {
  return EnqueueCommand(bytes.begin(), bytes.size());
}

void CommandQueue::InsertAfterHead(std::vector<uint8_t> bytes, CommandTag tag) {
  if (bytes.empty()) return;
  if (bytes.size() > kMaxPayload) bytes.resize(kMaxPayload);
  const auto at =
      entries_.insert(entries_.empty() ? entries_.end() : entries_.begin() + 1,
                      QueueEntry{std::move(bytes), tag});
  const QueueEntry added = *at;
  ++inserts_after_head_;
  const int n = static_cast<int>(entries_.size());
  SetProgress(std::max(progress_.maximum, n), n, progress_.visible || n >= 2);
  Tell([&](QueueListener& l) { l.InsertedAfterHead(added); });
}

void CommandQueue::RemoveHead() { TakeHead(true); }

void CommandQueue::TakeHead(bool answered) {
  if (entries_.empty()) return;
  const QueueEntry removed = std::move(entries_.front());
  entries_.pop_front();
  head_sends_ = 0;
  head_first_send_ = 0;
  head_answered_otherwise_ = false;
  const int n = static_cast<int>(entries_.size());
  SetProgress(progress_.maximum, n, n == 0 ? false : progress_.visible);
  Tell([&](QueueListener& l) { l.Removed(removed, answered); });
}

void CommandQueue::ClearQueue() {
  while (!entries_.empty()) TakeHead(false);
}

void CommandQueue::SendHead() {
  Tell([&](QueueListener& l) {
    if (!entries_.empty()) l.BeforeSend(*this);
  });
  if (entries_.empty()) return;
  const std::vector<uint8_t>& head = entries_.front().bytes;
  LayOutFrame(head.data(), static_cast<uint8_t>(head.size()), transmit_frame_);
  host_.WriteData(transmit_frame_.bytes.data(),
                  static_cast<uint16_t>(transmit_frame_.size));
  ++unanswered_sends_;
  ++sends_total_;
  if (head_sends_++ == 0) head_first_send_ = sends_total_;
  if (!entries_.empty()) {
    const QueueEntry sent = entries_.front();
    Tell([&](QueueListener& l) { l.Sent(sent, head_sends_); });
  }
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
