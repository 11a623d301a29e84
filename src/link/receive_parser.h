// Collects received chunks in a fixed 300-byte buffer, finds frames in them
// and acts on each: an acknowledgement restarts the watchdog and sends the
// head command; a reply whose opcode matches the head command is dispatched
// and the head removed. Nothing is allocated per frame.
#ifndef TAKT_LINK_RECEIVE_PARSER_H_
#define TAKT_LINK_RECEIVE_PARSER_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "link/command_queue.h"
#include "link/link_host.h"

namespace taktm {

inline constexpr size_t kReceiveBufferSize = 300;
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
  // Whether a reply answers the head command. The opcode decides; a handler
  // may look further (an address, a repeated answer) to turn away a late
  // duplicate, and may count the duplicates it has turned away.
  virtual bool AnswersHead(const ReplyRecord& reply, uint8_t /*length*/,
                           const std::vector<uint8_t>& head) {
    return head.front() == reply[0];
  }
};

class ReceiveParser {
 public:
  ReceiveParser(CommandQueue& queue, LinkHost& host, ReplyHandler& handler)
      : queue_(queue), host_(host), handler_(handler) {}
  ReceiveParser(const ReceiveParser&) = delete;
  ReceiveParser& operator=(const ReceiveParser&) = delete;

  // The handler of the serial port's received-data event. A chunk longer
  // than the buffer is fed in pieces that each fit the free space.
  void Comm321ReceiveData(const uint8_t* buffer, size_t length);

  uint16_t fill_count() const { return fill_count_; }
  uint16_t scan_position() const { return scan_position_; }
  const ReplyRecord& reply_record() const { return reply_record_; }

 private:
  void StoreChunk(const uint8_t* chunk, uint16_t length);
  void Parse();
  void Empty() { fill_count_ = 0, scan_position_ = 0; }

  CommandQueue& queue_;
  LinkHost& host_;
  ReplyHandler& handler_;
  std::array<uint8_t, kReceiveBufferSize> receive_buffer_{};
  uint16_t fill_count_ = 0;
  uint16_t scan_position_ = 0;
  ReplyRecord reply_record_{};
};

}  // namespace taktm

#endif  // TAKT_LINK_RECEIVE_PARSER_H_
