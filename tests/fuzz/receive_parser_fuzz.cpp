// libFuzzer target for the receive parser. The input describes a byte stream
// (noise, good replies, replies with a wrong payload sum, acknowledgements,
// raw bytes) and a chunking of it. The stream is fed twice: in the chunks
// the input chose, and one byte at a time.
//
// Always: the buffer's counters stay inside the 300-byte buffer, and every
// reply handed to the handler is a frame present in the stream with both
// sums right, matched to the head command, which had gone out before the
// chunk holding the reply arrived, in stream order without overlap.
//
// Whenever the parser's chunk-dependent rules cannot apply (no preamble with
// a wrong header sum, every acknowledgement at the end of a chunk in both
// feeds, no buffer overflow), both feeds must hand over the same replies.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "link/command_queue.h"
#include "link/frame.h"
#include "link/link_host.h"
#include "link/receive_parser.h"

namespace taktm {
namespace {

using Bytes = std::vector<uint8_t>;

void Check(bool ok) {
  if (!ok) std::abort();
}

struct Stream {
  Bytes bytes;
  std::vector<size_t> ack_ends;  // offsets just past each acknowledgement
};

void AppendFrame(Bytes& out, const Bytes& payload, uint8_t sum_error) {
  const size_t start = out.size();
  out.insert(out.end(),
             {0xD1, 0xE0, 0xEB, 0xEE, static_cast<uint8_t>(payload.size())});
  out.push_back(Sum8(out.data() + start, 5));
  out.insert(out.end(), payload.begin(), payload.end());
  out.push_back(
      static_cast<uint8_t>(Sum8(payload.data(), payload.size()) + sum_error));
}

Stream MakeStream(FuzzedDataProvider& in, uint8_t head_opcode) {
  Stream s;
  while (in.remaining_bytes() > 0 && s.bytes.size() < 4096) {
    switch (in.ConsumeIntegralInRange<int>(0, 4)) {
      case 0: {  // line noise, which never holds a preamble's first byte
        Bytes noise =
            in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(1, 16));
        for (uint8_t& b : noise) b = b == 0xD1 ? 0xD0 : b;
        s.bytes.insert(s.bytes.end(), noise.begin(), noise.end());
        break;
      }
      case 1:
      case 2: {  // a reply, good or with a wrong payload sum
        const bool good = in.ConsumeBool();
        const size_t length = in.ConsumeIntegralInRange<size_t>(1, 255);
        Bytes payload = {in.ConsumeBool() ? head_opcode
                                          : in.ConsumeIntegral<uint8_t>()};
        Bytes rest = in.ConsumeBytes<uint8_t>(length - 1);
        payload.insert(payload.end(), rest.begin(), rest.end());
        const uint8_t error =
            good ? 0 : in.ConsumeIntegralInRange<uint8_t>(1, 255);
        AppendFrame(s.bytes, payload, error);
        break;
      }
      case 3:  // an acknowledgement
        AppendFrame(s.bytes, {}, 0);
        s.ack_ends.push_back(s.bytes.size());
        break;
      case 4: {  // anything at all
        Bytes raw =
            in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(1, 8));
        s.bytes.insert(s.bytes.end(), raw.begin(), raw.end());
        break;
      }
    }
  }
  return s;
}

// True when the parser's rules that depend on chunk boundaries cannot come
// into play for this stream: no preamble is followed by a wrong header sum;
// every acknowledgement header is one the stream put there (so each ends a
// chunk in both feeds, and none lies right behind another in a chunk); and
// no frame header spans an acknowledgement, since the parser would wait for
// that frame to complete and only then act on the acknowledgements inside
// it, all in one chunk in one feed and not in the other.
bool ChunkIndependent(const Stream& s) {
  const Bytes& b = s.bytes;
  for (size_t p = 0; p + 4 <= b.size(); ++p) {
    if (!std::equal(kPreamble.begin(), kPreamble.end(), b.begin() + p)) {
      continue;
    }
    if (p + 6 > b.size()) continue;
    if (Sum8(b.data() + p, 5) != b[p + 5]) return false;
    if (b[p + 4] == 0) {
      if (!std::binary_search(s.ack_ends.begin(), s.ack_ends.end(), p + 7)) {
        return false;
      }
      continue;
    }
    const size_t end = p + kFrameOverhead + b[p + 4];
    for (size_t ack_end : s.ack_ends) {
      const size_t ack = ack_end - kFrameOverhead;
      if (ack > p && ack < end) return false;
    }
  }
  return true;
}

class Host : public LinkHost {
 public:
  explicit Host(CommandQueue*& queue, uint8_t opcode)
      : queue_(queue), opcode_(opcode) {}
  bool WriteData(const uint8_t* bytes, uint16_t count) override {
    Check(count >= kFrameOverhead + 1 && count <= kMaxFrame);
    Check(std::equal(kPreamble.begin(), kPreamble.end(), bytes));
    return true;
  }
  void RestartWatchdog() override {}
  // The retry limit cleared the queue: queue the command again, so that
  // later replies still have a head to match.
  void ShowWarning(const std::string&) override {
    queue_->EnqueueCommand({opcode_});
  }

 private:
  CommandQueue*& queue_;
  uint8_t opcode_;
};

class Recorder : public ReplyHandler {
 public:
  Recorder(CommandQueue& queue, uint8_t opcode)
      : queue_(queue), opcode_(opcode) {}
  void DispatchReply(const ReplyRecord& reply, uint8_t length) override {
    Check(length >= 1);
    Check(!queue_.empty() && queue_.HeadOpcode() == reply[0]);
    Check(queue_.HeadFirstSend() != 0 &&
          queue_.HeadFirstSend() <= sends_before_chunk);
    replies.emplace_back(reply.begin(), reply.begin() + length);
    queue_.EnqueueCommand({opcode_});  // the next command of a long run
  }
  std::vector<Bytes> replies;
  uint64_t sends_before_chunk = 0;  // frames sent before the chunk arrived

 private:
  CommandQueue& queue_;
  uint8_t opcode_;
};

struct Run {
  std::vector<Bytes> replies;
  bool overflowed = false;
};

// Feeds `bytes` in chunks ending at each offset of `ends` (ascending, the
// last one the stream's size).
Run Feed(const Bytes& bytes, const std::vector<size_t>& ends, uint8_t opcode) {
  CommandQueue* queue_pointer = nullptr;
  Host host(queue_pointer, opcode);
  CommandQueue queue(host);
  queue_pointer = &queue;
  Recorder recorder(queue, opcode);
  ReceiveParser parser(queue, host, recorder);
  queue.EnqueueCommand({opcode});

  Run run;
  size_t at = 0;
  for (size_t end : ends) {
    const size_t n = end - at;
    if (parser.fill_count() + n > kReceiveBufferSize) run.overflowed = true;
    recorder.sends_before_chunk = queue.SendsTotal();
    parser.Comm321ReceiveData(bytes.data() + at, n);
    Check(parser.fill_count() <= kReceiveBufferSize);
    Check(parser.scan_position() <= parser.fill_count());
    at = end;
  }
  // Chunks without bytes let a search stopped by a bad header resume, so
  // that both feeds have looked at every byte.
  for (int i = 0; i < 64; ++i) {
    recorder.sends_before_chunk = queue.SendsTotal();
    parser.Comm321ReceiveData(bytes.data(), 0);
  }
  run.replies = std::move(recorder.replies);
  return run;
}

// Every reply is a whole frame in the stream, after the previous one.
void CheckRepliesAreFrames(const Bytes& stream,
                           const std::vector<Bytes>& replies) {
  size_t cursor = 0;
  for (const Bytes& payload : replies) {
    Bytes frame;
    AppendFrame(frame, payload, 0);
    const auto it =
        std::search(stream.begin() + static_cast<std::ptrdiff_t>(cursor),
                    stream.end(), frame.begin(), frame.end());
    Check(it != stream.end());
    cursor = static_cast<size_t>(it - stream.begin()) + 6 + payload.size();
  }
}

}  // namespace
}  // namespace taktm

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace taktm;
  FuzzedDataProvider in(data, size);
  const uint8_t opcode = in.ConsumeIntegral<uint8_t>();
  const uint32_t chunk_seed = in.ConsumeIntegral<uint32_t>();
  const size_t max_chunk = in.ConsumeBool()
                               ? in.ConsumeIntegralInRange<size_t>(1, 64)
                               : in.ConsumeIntegralInRange<size_t>(1, 700);
  const Stream s = MakeStream(in, opcode);
  if (s.bytes.empty()) return 0;

  // Chunks of pseudo-random sizes up to max_chunk, cut at every
  // acknowledgement's end; and single bytes.
  std::vector<size_t> chunked;
  uint32_t state = chunk_seed | 1;
  size_t next_ack = 0;
  for (size_t at = 0; at < s.bytes.size();) {
    state = state * 1103515245u + 12345u;
    size_t end = std::min(s.bytes.size(), at + 1 + (state >> 8) % max_chunk);
    while (next_ack < s.ack_ends.size() && s.ack_ends[next_ack] <= at) {
      ++next_ack;
    }
    if (next_ack < s.ack_ends.size()) end = std::min(end, s.ack_ends[next_ack]);
    chunked.push_back(end);
    at = end;
  }
  std::vector<size_t> single(s.bytes.size());
  for (size_t i = 0; i < single.size(); ++i) single[i] = i + 1;

  const Run a = Feed(s.bytes, chunked, opcode);
  const Run b = Feed(s.bytes, single, opcode);
  CheckRepliesAreFrames(s.bytes, a.replies);
  CheckRepliesAreFrames(s.bytes, b.replies);
  if (!a.overflowed && !b.overflowed && ChunkIndependent(s)) {
    Check(a.replies == b.replies);
  }
  return 0;
}
