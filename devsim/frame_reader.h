// The device's side of the frame format: finds frames in the received bytes
// by the same rules as the program (preamble search, header sum, payload
// sum). A frame whose payload sum is wrong is reported and skipped; the
// program sends the command again at the next acknowledgement.
#ifndef TAKT_DEVSIM_FRAME_READER_H_
#define TAKT_DEVSIM_FRAME_READER_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace taktm::devsim {

struct ReceivedFrame {
  std::vector<uint8_t> payload;
  bool sum_ok = true;
};

class FrameReader {
 public:
  // Adds received bytes and returns the frames they complete, in order.
  // Empty frames (which the program never sends) are consumed and dropped.
  std::vector<ReceivedFrame> Feed(const uint8_t* bytes, size_t count);
  // Bytes held while a frame is incomplete (at most one frame's worth).
  size_t held() const { return buffer_.size(); }
  void Clear() { buffer_.clear(); }

 private:
  std::vector<uint8_t> buffer_;
};

}  // namespace taktm::devsim

#endif  // TAKT_DEVSIM_FRAME_READER_H_
