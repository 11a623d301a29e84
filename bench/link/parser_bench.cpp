// Receive-parser throughput over a stream of 237-byte data replies (the
// largest replies a read produces), cut into chunks of various sizes, and its
// ratio to the byte rate of a 1 Mbit/s serial line (10 bits a byte).
#include <benchmark/benchmark.h>

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
    queue_.EnqueueCommand({0x09});
  }
  uint64_t sum_ = 0;

 private:
  CommandQueue& queue_;
};

std::vector<uint8_t> ReplyStream(size_t replies) {
  std::vector<uint8_t> stream;
  std::vector<uint8_t> payload(230);
  payload[0] = 0x09;
  TransmitFrame frame;
  for (size_t r = 0; r < replies; ++r) {
    for (size_t i = 1; i < payload.size(); ++i) {
      payload[i] = static_cast<uint8_t>(r + i);
    }
    LayOutFrame(payload.data(), static_cast<uint8_t>(payload.size()), frame);
    stream.insert(stream.end(), frame.bytes.begin(),
                  frame.bytes.begin() + frame.size);
  }
  return stream;
}

void BM_ParseReplies(benchmark::State& state) {
  const size_t chunk = static_cast<size_t>(state.range(0));
  const std::vector<uint8_t> stream = ReplyStream(1000);
  NullHost host;
  CommandQueue queue(host);
  Refill refill(queue);
  ReceiveParser parser(queue, host, refill);
  queue.EnqueueCommand({0x09});
  for (auto _ : state) {
    for (size_t at = 0; at < stream.size(); at += chunk) {
      const size_t n = std::min(chunk, stream.size() - at);
      parser.Comm321ReceiveData(stream.data() + at, n);
    }
  }
  benchmark::DoNotOptimize(refill.sum_);
  const double bytes = static_cast<double>(stream.size()) *
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
