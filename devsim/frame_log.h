// One line per frame received or sent, flushed at once, so that a test can
// read the exact command sequence while the emulator runs:
//   RX F9 02            a command received intact
//   RX BADSUM F9 02     a command with a wrong payload sum, ignored
//   TX F9               a reply sent
//   TX DROPPED 09 ...   a reply withheld (--drop-replies)
//   TX CORRUPT 09 ...   a reply sent with a wrong payload sum
//   TX NOISE 5A 13      garbage bytes sent between frames
//   TX ACK              an acknowledgement (only with --log-acks)
//   SILENT / TALKING / HANGUP   the state changes of the fault options
// Bytes are the payload (opcode first) in upper-case hexadecimal.
#ifndef TAKT_DEVSIM_FRAME_LOG_H_
#define TAKT_DEVSIM_FRAME_LOG_H_

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace taktm::devsim {

class FrameLog {
 public:
  FrameLog() = default;
  ~FrameLog();
  FrameLog(const FrameLog&) = delete;
  FrameLog& operator=(const FrameLog&) = delete;

  bool Open(const std::string& path);  // truncates
  // `tag` goes between the direction and the bytes ("" for none).
  void Frame(const char* direction, const char* tag,
             const std::vector<uint8_t>& bytes);
  void Line(const std::string& text);

 private:
  std::FILE* file_ = nullptr;
};

std::string HexBytes(const std::vector<uint8_t>& bytes);

}  // namespace taktm::devsim

#endif  // TAKT_DEVSIM_FRAME_LOG_H_
