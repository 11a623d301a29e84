#include "link/reply_matcher.h"

#include <algorithm>
#include <cstring>

namespace taktm {
namespace {

// Chunks in which the device showed itself idle after which answers still
// expected count as lost, at the least. A frame may take a while to reach
// the device (a USB adapter holds bytes back for some milliseconds), and a
// device that idles faster than that acknowledges meanwhile: one idle
// period is not enough to know, and on a line where answers have come
// only after several, more are waited for.
constexpr int kIdleChunksForLoss = 4;
// A line that once made an answer wait this long is not waited on longer.
constexpr int kLongestIdleWait = 30;
// After this many heads in a row answered within kIdleChunksForLoss idle
// chunks, the longest wait seen is halved: one bad spell must not slow every
// later hold for good.
constexpr int kQuietHeadsForDecay = 16;

}  // namespace

ReplyVerdict ReplyMatcher::Judge(const ReplyRecord& reply, uint8_t length,
                                 const CommandQueue& queue,
                                 uint64_t sends_before, ReplyHandler& handler) {
  const bool repeats_last =
      expected_copies_ > 0 && length == last_answer_length_ &&
      std::memcmp(reply.data(), last_answer_.data(), length) == 0;
  const bool before_head =
      !queue.empty() &&
      (queue.HeadFirstSend() == 0 || queue.HeadFirstSend() > sends_before);
  if (repeats_last) {
    // A head held back for this answer goes out at its acknowledgement;
    // otherwise that acknowledgement must not send the head once more.
    const bool held = HoldsBack(queue, handler);
    --expected_copies_;
    if (held) return ReplyVerdict::kLateCopy;
  }
  if (repeats_last || before_head) {
    skips_due_ = std::min(skips_due_ + 1, kSendLimit);
    return ReplyVerdict::kLateCopy;
  }
  if (queue.empty()) return ReplyVerdict::kIgnored;
  if (!handler.AnswersHead(reply, length, queue.entry(0))) {
    return reply[0] == queue.HeadOpcode() ? ReplyVerdict::kForeign
                                          : ReplyVerdict::kIgnored;
  }
  return ReplyVerdict::kAnswersHead;
}

bool ReplyMatcher::HoldsBack(const CommandQueue& queue,
                             ReplyHandler& handler) const {
  // Only when a late answer could pass for the head's own.
  return expected_copies_ > 0 && !queue.empty() && queue.HeadSends() == 0 &&
         handler.AnswersHead(last_answer_, last_answer_length_, queue.entry(0));
}

void ReplyMatcher::Completed(const ReplyRecord& reply, uint8_t length,
                             int head_sends, uint64_t chunk) {
  std::memcpy(last_answer_.data(), reply.data(), length);
  last_answer_length_ = length;
  expected_copies_ = std::max(head_sends - 1, 0);
  longest_idle_wait_ = std::min(std::max(longest_idle_wait_, head_idle_chunks_),
                                kLongestIdleWait);
  quiet_heads_ = head_idle_chunks_ < kIdleChunksForLoss ? quiet_heads_ + 1 : 0;
  if (quiet_heads_ >= kQuietHeadsForDecay) {
    longest_idle_wait_ /= 2;
    quiet_heads_ = 0;
  }
  head_idle_chunks_ = 0;
  completed_chunk_ = chunk;
  idle_chunks_ = 0;
  held_chunks_ = 0;
  // A late copy's acknowledgement comes before the next head's answer; a
  // skip still due now would only hold up a needed send later.
  skips_due_ = 0;
}

bool ReplyMatcher::SendsOnAck(const CommandQueue& queue, const AckPlace& place,
                              ReplyHandler& handler) {
  const bool idle = !place.follows_reply;
  // How many idle chunks the head's answer keeps the line waiting for: the
  // longest such wait seen tells how long an answer may still come.
  if (!queue.empty() && queue.HeadSends() > 0) {
    if (queue.HeadFirstSend() != head_first_send_) {
      head_first_send_ = queue.HeadFirstSend();
      head_idle_chunks_ = 0;
    }
    if (idle && place.chunk != head_idle_chunk_) {
      head_idle_chunk_ = place.chunk;
      ++head_idle_chunks_;
    }
  }
  if (expected_copies_ > 0) {
    // An acknowledgement in the chunk that completed the head, or right
    // behind a reply, may well have left before the last copy reached the
    // device; one with nothing before it, later, says the device is idle.
    if (idle && place.chunk > completed_chunk_ &&
        place.chunk != last_idle_chunk_) {
      last_idle_chunk_ = place.chunk;
      ++idle_chunks_;
    }
    // A device that keeps talking without the answers is not waited for
    // without end either.
    if (place.chunk != last_held_chunk_) {
      last_held_chunk_ = place.chunk;
      ++held_chunks_;
    }
    const int idle_for_loss =
        std::max(kIdleChunksForLoss, longest_idle_wait_ + 2);
    if (idle_chunks_ >= idle_for_loss ||
        held_chunks_ > std::max(kSendLimit, 2 * idle_for_loss)) {
      expected_copies_ = 0;  // lost on the line
    }
  }
  if (queue.empty()) {
    skips_due_ = 0;
    return false;
  }
  if (queue.HeadSends() == 0) {
    if (HoldsBack(queue, handler)) return false;
    return Sent(place);
  }
  // A reply that was the device's answer, damaged: the device is ready.
  if (place.follows_damaged && place.chunk != send_chunk_) return Sent(place);
  if (place.chunk == send_chunk_ || place.chunk == counted_chunk_) {
    return false;
  }
  counted_chunk_ = place.chunk;
  if (skips_due_ > 0) {
    --skips_due_;
    return false;
  }
  if (++ack_chunks_since_send_ < 2) return false;
  return Sent(place);
}

bool ReplyMatcher::Sent(const AckPlace& place) {
  send_chunk_ = place.chunk;
  counted_chunk_ = place.chunk;
  ack_chunks_since_send_ = 0;
  return true;
}

}  // namespace taktm
