// Collects received chunks in a fixed 300-byte buffer, finds frames in them
// and acts on each, in order: an acknowledgement restarts the watchdog and
// (by the reply matcher's rule) sends the head command; a reply that answers
// the head is dispatched and the head removed. Nothing is allocated per
// frame.
#ifndef TAKT_LINK_RECEIVE_PARSER_H_
#define TAKT_LINK_RECEIVE_PARSER_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "link/command_queue.h"
#include "link/link_host.h"
#include "link/reply_matcher.h"

namespace taktm {

inline constexpr size_t kReceiveBufferSize = 300;

class ReceiveParser {
 public:
  ReceiveParser(CommandQueue& queue, LinkHost& host, ReplyHandler& handler)
      : queue_(queue), host_(host), handler_(handler) {}
  ReceiveParser(const ReceiveParser&) = delete;
  ReceiveParser& operator=(const ReceiveParser&) = delete;

  // The handler of the serial port's received-data event. A chunk longer
  // than the buffer is fed in pieces that each fit the free space. A chunk
  // handed in while a frame is being acted on (a modal box that runs the
  // event loop) is kept and parsed right after, in order.
  void Comm321ReceiveData(const uint8_t* buffer, size_t length);

  uint16_t fill_count() const { return fill_count_; }
  uint16_t scan_position() const { return scan_position_; }
  const ReplyRecord& reply_record() const { return reply_record_; }
  const ReplyMatcher& matcher() const { return matcher_; }

 private:
  void Feed(const uint8_t* buffer, size_t length);
  void StoreChunk(const uint8_t* chunk, uint16_t length);
  void Parse();
  void Consume(size_t count);
  void StampFrameBegun();
  void Empty() { fill_count_ = 0, scan_position_ = 0, frame_waiting_ = false; }

  CommandQueue& queue_;
  LinkHost& host_;
  ReplyHandler& handler_;
  ReplyMatcher matcher_;
  std::array<uint8_t, kReceiveBufferSize> receive_buffer_{};
  uint16_t fill_count_ = 0;
  uint16_t scan_position_ = 0;
  ReplyRecord reply_record_{};
  // Frames sent before the chunk being parsed arrived, and before the
  // first byte of a frame still waiting for its rest arrived (a preamble
  // cut anywhere keeps the stamp of the chunk it began in).
  uint64_t chunk_sends_ = 0;
  bool frame_waiting_ = false;
  uint64_t waiting_frame_sends_ = 0;
  uint16_t waiting_frame_start_ = 0;  // where that frame begins
  // The last frame of this chunk was an acknowledgement; the last frame of
  // all was a reply; chunks handed in so far.
  bool after_ack_ = false;
  bool after_reply_ = false;
  // The last frame of all was a damaged reply or one of the head's opcode
  // that did not answer it.
  bool after_damaged_ = false;
  uint64_t chunk_ = 0;
  bool parsing_ = false;
  std::deque<std::vector<uint8_t>> held_back_;
};

}  // namespace taktm

#endif  // TAKT_LINK_RECEIVE_PARSER_H_
