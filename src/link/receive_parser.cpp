#include "link/receive_parser.h"

#include <algorithm>
#include <cstring>

#include "link/frame.h"

namespace taktm {

void ReceiveParser::Comm321ReceiveData(const uint8_t* buffer, size_t length) {
  if (parsing_) {
    held_back_.emplace_back(buffer, buffer + length);
    return;
  }
  parsing_ = true;
  Feed(buffer, length);
  while (!held_back_.empty()) {
    const std::vector<uint8_t> chunk = std::move(held_back_.front());
    held_back_.pop_front();
    Feed(chunk.data(), chunk.size());
  }
  parsing_ = false;
}

void ReceiveParser::Feed(const uint8_t* buffer, size_t length) {
  // The whole chunk arrived before anything it makes the parser send.
  chunk_sends_ = queue_.SendsTotal();
  ++chunk_;
  after_ack_ = false;
  if (length <= kReceiveBufferSize) {
    StoreChunk(buffer, static_cast<uint16_t>(length));
    return;
  }
  // Too long to store at once: feed pieces no larger than the free space, so
  // that splitting never drops a byte by itself.
  while (length > 0) {
    size_t room = kReceiveBufferSize - fill_count_;
    if (room == 0) room = kReceiveBufferSize;
    const size_t piece = std::min(room, length);
    StoreChunk(buffer, static_cast<uint16_t>(piece));
    buffer += piece;
    length -= piece;
  }
}

void ReceiveParser::StoreChunk(const uint8_t* chunk, uint16_t length) {
  if (fill_count_ + length > kReceiveBufferSize) Empty();
  if (length > 0) {  // an empty chunk may come without any bytes at all
    std::memcpy(receive_buffer_.data() + fill_count_, chunk, length);
  }
  fill_count_ = static_cast<uint16_t>(fill_count_ + length);
  Parse();
}

void ReceiveParser::Consume(size_t count) {
  const size_t consumed = std::min<size_t>(count, fill_count_);
  std::memmove(receive_buffer_.data(), receive_buffer_.data() + consumed,
               fill_count_ - consumed);
  fill_count_ = static_cast<uint16_t>(fill_count_ - consumed);
  scan_position_ = 0;
  if (frame_waiting_) {
    if (waiting_frame_start_ < consumed) {
      frame_waiting_ = false;
    } else {
      waiting_frame_start_ =
          static_cast<uint16_t>(waiting_frame_start_ - consumed);
    }
  }
}

void ReceiveParser::StampFrameBegun() {
  // A frame may begin in what is left, before a whole header is in: it
  // keeps this chunk's stamp when the rest comes later.
  if (frame_waiting_) return;
  for (uint16_t p = scan_position_; p < fill_count_; ++p) {
    const size_t left = std::min<size_t>(fill_count_ - p, 4);
    if (std::memcmp(receive_buffer_.data() + p, kPreamble.data(), left) == 0) {
      frame_waiting_ = true;
      waiting_frame_start_ = p;
      waiting_frame_sends_ = chunk_sends_;
      return;
    }
  }
}

void ReceiveParser::Parse() {
  uint8_t* const buf = receive_buffer_.data();
  for (;;) {
    // Preamble search: at least a whole header must lie ahead.
    while (fill_count_ >= scan_position_ + 6 &&
           std::memcmp(buf + scan_position_, kPreamble.data(), 4) != 0) {
      ++scan_position_;
      if (scan_position_ > waiting_frame_start_) frame_waiting_ = false;
    }
    if (fill_count_ < scan_position_ + 6) {
      StampFrameBegun();
      return;
    }

    const uint8_t* frame = buf + scan_position_;
    if (Sum8(frame, 5) != frame[5]) {
      ++scan_position_;  // resumes with the next chunk
      frame_waiting_ = false;
      return;
    }
    const uint8_t length = frame[4];
    if (length == 0) {
      // Acknowledgement: acted on at its header; its payload-sum byte is
      // passed over like any byte that does not begin a preamble.
      frame_waiting_ = false;
      host_.RestartWatchdog();
      const AckPlace place{chunk_, after_ack_, after_reply_, after_damaged_};
      after_ack_ = true;
      after_reply_ = false;
      after_damaged_ = false;
      if (matcher_.SendsOnAck(queue_, place, handler_)) queue_.SendHead();
      Consume(scan_position_ + 6u);
      continue;
    }
    const size_t frame_size = static_cast<size_t>(length) + kFrameOverhead;
    if (static_cast<size_t>(fill_count_ - scan_position_) < frame_size) {
      if (!frame_waiting_) {
        frame_waiting_ = true;
        waiting_frame_start_ = scan_position_;
        waiting_frame_sends_ = chunk_sends_;
      }
      return;  // wait for the rest
    }
    const uint64_t sends_before =
        frame_waiting_ ? waiting_frame_sends_ : chunk_sends_;
    frame_waiting_ = false;
    after_ack_ = false;
    after_reply_ = true;  // a reply, or what the device meant as one

    const uint8_t* payload = frame + 6;
    if (Sum8(payload, length) != payload[length]) {
      after_damaged_ = true;
      ++scan_position_;  // reply lost; search on at once
      continue;
    }
    std::memcpy(reply_record_.data(), payload, length);
    const ReplyVerdict verdict =
        matcher_.Judge(reply_record_, length, queue_, sends_before, handler_);
    after_damaged_ = verdict == ReplyVerdict::kForeign;
    if (verdict == ReplyVerdict::kForeign) queue_.NoteForeignReply();
    if (verdict == ReplyVerdict::kAnswersHead) {
      matcher_.Completed(reply_record_, length, queue_.HeadSends(), chunk_);
      queue_.ResetUnansweredSends();
      handler_.DispatchReply(reply_record_, length);
      queue_.RemoveHead();
    }
    // Drop everything up to the payload; its sum byte stays first.
    Consume(scan_position_ + 6u + length);
  }
}

}  // namespace taktm
