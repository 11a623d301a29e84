#include "link/reply_matcher.h"

#include <algorithm>
#include <cstring>

namespace taktm {

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
    --expected_copies_;
    // A bare opcode that fits a head already sent may just as well be that
    // head's own answer (one whose first reply was lost): it is counted as
    // such when the head completes, or else every later command of a run
    // of writes would be turned away once more and go out once more.
    if (!before_head && !queue.empty() && length == 1 &&
        handler.AnswersHead(reply, length, queue.entry(0))) {
      ++maybe_head_answers_;
    }
  }
  if (repeats_last || before_head) {
    skips_due_ = std::min(skips_due_ + 1, kSendLimit);
    return ReplyVerdict::kLateCopy;
  }
  if (queue.empty() || !handler.AnswersHead(reply, length, queue.entry(0))) {
    return ReplyVerdict::kIgnored;
  }
  return ReplyVerdict::kAnswersHead;
}

void ReplyMatcher::Completed(const ReplyRecord& reply, uint8_t length,
                             int head_sends) {
  std::memcpy(last_answer_.data(), reply.data(), length);
  last_answer_length_ = length;
  expected_copies_ = std::max(head_sends - 1 - maybe_head_answers_, 0);
  maybe_head_answers_ = 0;
  // A late copy's acknowledgement comes before the next head's answer; a
  // skip still due now would only hold up a needed send later.
  skips_due_ = 0;
}

bool ReplyMatcher::SendsOnAck(const CommandQueue& queue, bool follows_ack) {
  if (queue.empty()) {
    skips_due_ = 0;
    return false;
  }
  if (queue.HeadSends() == 0) return true;
  if (skips_due_ > 0) {
    --skips_due_;
    return false;
  }
  return !follows_ack;
}

}  // namespace taktm
