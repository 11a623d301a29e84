#include "link/receive_parser.h"

#include <algorithm>
#include <cstring>

#include "link/frame.h"

namespace taktm {

void ReceiveParser::Comm321ReceiveData(const uint8_t* buffer, size_t length) {
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

void ReceiveParser::Parse() {
  uint8_t* const buf = receive_buffer_.data();
  for (;;) {
    // Preamble search: at least a whole header must lie ahead.
    while (fill_count_ >= scan_position_ + 6 &&
           std::memcmp(buf + scan_position_, kPreamble.data(), 4) != 0) {
      ++scan_position_;
    }
    if (fill_count_ < scan_position_ + 6) return;

    const uint8_t* frame = buf + scan_position_;
    if (Sum8(frame, 5) != frame[5]) {
      ++scan_position_;  // resumes with the next chunk
      return;
    }
    const uint8_t length = frame[4];
    if (length == 0) {
      // Acknowledgement: its payload-sum byte is neither awaited nor checked.
      host_.RestartWatchdog();
      queue_.SendHead();
      Empty();  // also drops whatever followed, or arrived during a warning
      return;
    }
    const size_t frame_size = static_cast<size_t>(length) + kFrameOverhead;
    if (static_cast<size_t>(fill_count_ - scan_position_) < frame_size) {
      return;  // wait for the rest
    }

    const uint8_t* payload = frame + 6;
    if (Sum8(payload, length) != payload[length]) {
      ++scan_position_;  // reply lost; search on at once
      continue;
    }
    std::memcpy(reply_record_.data(), payload, length);
    if (!queue_.empty() &&
        handler_.AnswersHead(reply_record_, length, queue_.entry(0))) {
      queue_.ResetUnansweredSends();
      handler_.DispatchReply(reply_record_, length);
      queue_.RemoveHead();
    }
    // Compact: drop everything up to the payload; its sum byte stays first.
    const size_t consumed =
        std::min<size_t>(scan_position_ + 6 + length, fill_count_);
    std::memmove(buf, buf + consumed, fill_count_ - consumed);
    fill_count_ = static_cast<uint16_t>(fill_count_ - consumed);
    scan_position_ = 0;
  }
}

}  // namespace taktm
