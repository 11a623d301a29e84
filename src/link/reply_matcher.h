// Whether a reply answers the head command, and whether an acknowledgement
// sends it: the one rule the receive parser follows, whatever front-end runs
// it. An idle acknowledgement that crosses a command on the line makes the
// program send that command again, and the device runs and answers both
// copies; the second answer must neither complete the next command nor keep
// every later command going out twice.
//
// A reply is, in this order:
//  1. a late copy, when it repeats byte for byte the reply that completed the
//     previous head while that head's extra sends may still be answered (a
//     head that went out n times is answered up to n - 1 more times);
//  2. a late copy, when the head had not gone out before the reply arrived
//     (it cannot answer a command that was sent after it);
//  3. the head's answer, when the reply handler finds its contents fit the
//     head command (opcode, echoed arguments, the bytes its row lists);
//  4. anything else, ignored.
// While answers to the previous head's extra sends are still to come and
// one of them would fit the next head too (replies that carry no argument, a
// write's, all look alike), the next head is held back: an acknowledgement
// sends nothing, so that no late answer can arrive after the next head went
// out and pass for its answer. The hold ends when those answers are in, or
// when the device has shown itself idle in four chunks after the one that
// completed the head (an acknowledgement with no reply before it; more on a
// line where answers have waited longer), or after acknowledgements in more
// chunks than eight or twice those idle chunks: the answers were lost on the
// line.
// A head that has gone out is sent again only at the second chunk of
// acknowledgements after its last send: the first may have left the device
// before the frame reached it (an idle acknowledgement crossing it), or say
// it took the command into work (a device that acknowledges on receipt).
// Acknowledgements in the chunk that carried the send do not count, several
// in one chunk count once. One right behind a damaged reply (bad sum, cut
// short) sends at once: that reply was the device's answer. After a late
// copy that was not expected, one more acknowledgement chunk is passed
// over: the device is still busy with the copy's twin.
#ifndef TAKT_LINK_REPLY_MATCHER_H_
#define TAKT_LINK_REPLY_MATCHER_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "link/command_queue.h"
#include "link/frame.h"

namespace taktm {

inline constexpr size_t kReplyRecordSize = 256;

// Payload of the last accepted reply, opcode first. Bytes past the reply's
// length keep what earlier replies left there.
using ReplyRecord = std::array<uint8_t, kReplyRecordSize>;

class ReplyHandler {
 public:
  virtual ~ReplyHandler() = default;
  // Acts on a reply matched to the head command; `length` is the number of
  // payload bytes the reply carried (1..255).
  virtual void DispatchReply(const ReplyRecord& reply, uint8_t length) = 0;
  // Whether the reply's contents answer `head`. Here the opcode alone
  // decides; the program's handler applies the command table (arguments the
  // reply echoes, bytes its row lists).
  virtual bool AnswersHead(const ReplyRecord& reply, uint8_t /*length*/,
                           const std::vector<uint8_t>& head) {
    return head.front() == reply[0];
  }
};

// kForeign: the head's opcode, but not its answer (another address or count,
// too few bytes): the device answered some other command.
enum class ReplyVerdict { kAnswersHead, kLateCopy, kForeign, kIgnored };

// Where an acknowledgement stands in the byte stream.
struct AckPlace {
  uint64_t chunk = 0;          // number of the chunk it arrived in
  bool follows_ack = false;    // right behind another one in that chunk
  bool follows_reply = false;  // right behind a reply, in any chunk
  // right behind a reply with a bad sum, or one that had the head's opcode
  // but did not answer it (cut short, another address)
  bool follows_damaged = false;
};

class ReplyMatcher {
 public:
  // Judges one reply. `sends_before` is the queue's SendsTotal() when the
  // reply's first bytes had arrived.
  ReplyVerdict Judge(const ReplyRecord& reply, uint8_t length,
                     const CommandQueue& queue, uint64_t sends_before,
                     ReplyHandler& handler);
  // A reply that arrived in chunk `chunk` completed the head, which had
  // gone out `head_sends` times.
  void Completed(const ReplyRecord& reply, uint8_t length, int head_sends,
                 uint64_t chunk);
  // Whether an acknowledgement sends the head.
  bool SendsOnAck(const CommandQueue& queue, const AckPlace& place,
                  ReplyHandler& handler);

  int expected_copies() const { return expected_copies_; }
  int longest_idle_wait() const { return longest_idle_wait_; }
  int skips_due() const { return skips_due_; }

 private:
  // The head has not gone out, and it waits for answers still expected
  // that would fit it.
  bool HoldsBack(const CommandQueue& queue, ReplyHandler& handler) const;
  // Records a send at this acknowledgement; true.
  bool Sent(const AckPlace& place);

  ReplyRecord last_answer_{};
  uint8_t last_answer_length_ = 0;
  // Answers still to come for the extra sends of the previous head; the
  // next head is held back while there are any.
  int expected_copies_ = 0;
  uint64_t completed_chunk_ = 0;
  // Chunks after that one in which the device was idle, and chunks whose
  // acknowledgements were held back, since the head completed.
  uint64_t last_idle_chunk_ = 0;
  int idle_chunks_ = 0;
  uint64_t last_held_chunk_ = 0;
  int held_chunks_ = 0;
  // Idle chunks while the head waited for its answer, and the most any head
  // has waited.
  uint64_t head_first_send_ = 0;
  uint64_t head_idle_chunk_ = 0;
  int head_idle_chunks_ = 0;
  int longest_idle_wait_ = 0;
  // Unexpected late copies whose acknowledgement has not yet been passed
  // over.
  int skips_due_ = 0;
  // The chunk whose acknowledgement sent the head last, the last chunk of
  // acknowledgements counted since, and how many were counted.
  uint64_t send_chunk_ = 0;
  uint64_t counted_chunk_ = 0;
  int ack_chunks_since_send_ = 0;
  // Heads completed in a row without waiting for the device to idle; the
  // longest wait is lowered after a quiet spell of them.
  int quiet_heads_ = 0;
};

}  // namespace taktm

#endif  // TAKT_LINK_REPLY_MATCHER_H_
