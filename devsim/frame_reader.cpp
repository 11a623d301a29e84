#include "frame_reader.h"

#include <algorithm>
#include <cstring>

#include "link/frame.h"

namespace taktm::devsim {

std::vector<ReceivedFrame> FrameReader::Feed(const uint8_t* bytes,
                                             size_t count) {
  buffer_.insert(buffer_.end(), bytes, bytes + count);
  std::vector<ReceivedFrame> frames;
  size_t pos = 0;
  while (buffer_.size() - pos >= 6) {
    const uint8_t* at = buffer_.data() + pos;
    if (std::memcmp(at, kPreamble.data(), kPreamble.size()) != 0 ||
        Sum8(at, 5) != at[5]) {
      ++pos;  // not the start of a frame: pass over one byte
      continue;
    }
    const size_t length = at[4];
    if (buffer_.size() - pos < length + kFrameOverhead) break;  // wait
    if (length > 0) {
      ReceivedFrame frame;
      frame.payload.assign(at + 6, at + 6 + length);
      frame.sum_ok = Sum8(at + 6, length) == at[6 + length];
      frames.push_back(std::move(frame));
      if (!frames.back().sum_ok) {
        ++pos;  // a damaged frame may hide the start of a good one
        continue;
      }
    }
    pos += length + kFrameOverhead;
  }
  buffer_.erase(buffer_.begin(), buffer_.begin() + pos);
  return frames;
}

}  // namespace taktm::devsim
