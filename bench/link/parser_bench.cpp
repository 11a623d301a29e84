// Receive-parser throughput over a stream of 237-byte data replies (the
// largest replies a read produces), each followed by the acknowledgement
// that sends the next command, cut into chunks of various sizes (and after
// every acknowledgement: a reply can only answer a command sent before it
// arrived), and its ratio to the byte rate of a 1 Mbit/s serial line (10
// bits a byte).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "link/command_queue.h"
#include "link/frame.h"
#include "link/receive_parser.h"

namespace taktm {
namespace {

class NullHost : public LinkHost {
 public:
  bool WriteData(const uint8_t*, uint16_t) override { return true; }
  void RestartWatchdog() override {}
  void ShowWarning(const std::string&) override {}
};

// Keeps a read command at the head so that every reply is dispatched.
class Refill : public ReplyHandler {
 public:
  explicit Refill(CommandQueue& queue) : queue_(queue) {}
  void DispatchReply(const ReplyRecord& reply, uint8_t length) override {
    sum_ += reply[length - 1];
    ++replies_;
    queue_.EnqueueCommand({0x09});
  }
  uint64_t sum_ = 0;
  uint64_t replies_ = 0;

 private:
  CommandQueue& queue_;
};

// The stream, and the offsets just past each acknowledgement.
struct Stream {
  std::vector<uint8_t> bytes;
  std::vector<size_t> ack_ends;
};

Stream ReplyStream(size_t replies) {
  Stream stream;
  std::vector<uint8_t> payload(230);
  payload[0] = 0x09;
  TransmitFrame frame;
  const auto append = [&](const uint8_t* p, uint8_t n) {
    LayOutFrame(p, n, frame);
    stream.bytes.insert(stream.bytes.end(), frame.bytes.begin(),
                        frame.bytes.begin() + frame.size);
  };
  for (size_t r = 0; r < replies; ++r) {
    append(nullptr, 0);
    stream.ack_ends.push_back(stream.bytes.size());
    for (size_t i = 1; i < payload.size(); ++i) {
      payload[i] = static_cast<uint8_t>(r + i);
    }
    append(payload.data(), static_cast<uint8_t>(payload.size()));
  }
  return stream;
}

void BM_ParseReplies(benchmark::State& state) {
  const size_t chunk = static_cast<size_t>(state.range(0));
  const Stream stream = ReplyStream(1000);
  NullHost host;
  CommandQueue queue(host);
  Refill refill(queue);
  ReceiveParser parser(queue, host, refill);
  queue.EnqueueCommand({0x09});
  for (auto _ : state) {
    size_t next_ack = 0;
    for (size_t at = 0; at < stream.bytes.size();) {
      size_t end = std::min(at + chunk, stream.bytes.size());
      while (next_ack < stream.ack_ends.size() &&
             stream.ack_ends[next_ack] <= at) {
        ++next_ack;
      }
      if (next_ack < stream.ack_ends.size()) {
        end = std::min(end, stream.ack_ends[next_ack]);
      }
      parser.Comm321ReceiveData(stream.bytes.data() + at, end - at);
      at = end;
    }
  }
  benchmark::DoNotOptimize(refill.sum_);
  if (refill.replies_ != 1000 * static_cast<uint64_t>(state.iterations())) {
    state.SkipWithError("not every reply was dispatched");
  }
  const double bytes = static_cast<double>(stream.bytes.size()) *
                       static_cast<double>(state.iterations());
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  state.counters["MB"] =
      benchmark::Counter(bytes / 1e6, benchmark::Counter::kIsRate);
  // A 1 Mbit/s line carries 100,000 bytes a second.
  state.counters["x_1Mbit_line"] =
      benchmark::Counter(bytes / 100000.0, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ParseReplies)->Arg(1)->Arg(17)->Arg(300);

}  // namespace
}  // namespace taktm

BENCHMARK_MAIN();
