// --trace FILE: every frame of a run both ways, one per line, with the time
// since the program started, for a bug report:
//     125.412 TX D1 E0 EB EE 01 B3 FE FE
//     131.006 RX D1 E0 EB EE 00 B2 00
// Received bytes come in chunks; they are cut into frames here by the
// preamble, length and header sum, and bytes that begin no frame are given
// as "RX ??". With several ports each line names its port after the time.
#ifndef TAKT_CLI_FRAME_TRACE_H_
#define TAKT_CLI_FRAME_TRACE_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace taktm {

class FrameTrace {
 public:
  // `us`: microseconds since the program started; `port` empty when the run
  // has one port.
  void Sent(const std::string& port, int64_t us, const uint8_t* bytes,
            size_t count);
  void Received(const std::string& port, int64_t us, const uint8_t* bytes,
                size_t count);

  // The lines so far, received bytes still short of a frame given last as
  // "RX ??".
  std::string Text() const;

 private:
  void Line(const std::string& port, int64_t us, const char* direction,
            const uint8_t* bytes, size_t count);

  struct Pending {
    std::vector<uint8_t> bytes;
    int64_t us = 0;
  };
  std::string text_;
  std::map<std::string, Pending> pending_;
};

}  // namespace taktm

#endif  // TAKT_CLI_FRAME_TRACE_H_
