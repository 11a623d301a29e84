// Round trips per second through the program core, unpaced and without a
// port: the chip programmer's commands go through the command queue, the
// frames to the emulator's device model in the same process, and its reply
// and acknowledgement back through the receive parser, one chunk per round
// trip. It prices the matching rule: the same runs through the parser as it
// was before the rule (PreviousParser, below), through today's parser with
// the content check reduced to the opcode, and with the whole rule; and
// with the device letting an acknowledgement cross every third command, so
// that late copies, the hold and skipped sends are exercised too.
//
// Workloads on the built-in DEMO-128K (131,072 bytes, 586 chunks): a read
// of its program memory (230-byte replies) and a write (1-byte replies).
// Without arguments every run is repeated nine times in random order and
// the medians are printed, with the ratios of the two rules at the end.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "buffer/data_buffer.h"
#include "chip_catalogue.h"
#include "device_model.h"
#include "link/command_queue.h"
#include "link/frame.h"
#include "link/receive_parser.h"
#include "programming/chip_programmer.h"
#include "programming/opcodes.h"

namespace taktm {
namespace {

constexpr int kDemo128K = 3;
constexpr uint32_t kFlash = 131072;
// The operation runs this many times per iteration (9,408 round trips), so
// that pausing the clock for the set-up costs little.
constexpr int kPasses = 16;

class NullProgrammingHost : public ProgrammingHost {
 public:
  explicit NullProgrammingHost(DataBuffer& buffer) : buffer_(buffer) {}
  void Changed(Aspect) override {}
  void RebuildLines(int) override {}
  void SetLineText(int, const std::string&) override {}
  void ResizeBuffer(size_t n) override { buffer_.Resize(n); }
  void FormatGrid() override {}
  ReloadResult ReloadWorkingFile() override { return {true, {}}; }
  bool Check(Option) override { return true; }
  void ShowWarning(const std::string&) override {}

 private:
  DataBuffer& buffer_;
};

// The receive parser as it was before the matching rule, for the figure
// "before": an acknowledgement sends the head and empties the buffer; a
// reply goes to the handler when its opcode is the head's and, for a read,
// it carries the head's address and count and all the bytes it counts.
class PreviousParser {
 public:
  PreviousParser(CommandQueue& queue, ReplyHandler& handler)
      : queue_(queue), handler_(handler) {}

  void Comm321ReceiveData(const uint8_t* chunk, size_t length) {
    if (fill_ + length > buffer_.size()) fill_ = 0, scan_ = 0;
    std::copy_n(chunk, length, buffer_.begin() + fill_);
    fill_ += length;
    for (;;) {
      while (fill_ >= scan_ + 6 &&
             !std::equal(kPreamble.begin(), kPreamble.end(),
                         buffer_.begin() + scan_)) {
        ++scan_;
      }
      if (fill_ < scan_ + 6) return;
      const uint8_t* frame = buffer_.data() + scan_;
      if (Sum8(frame, 5) != frame[5]) {
        ++scan_;
        return;
      }
      const uint8_t n = frame[4];
      if (n == 0) {
        queue_.SendHead();
        fill_ = 0, scan_ = 0;
        return;
      }
      if (fill_ - scan_ < n + kFrameOverhead) return;
      if (Sum8(frame + 6, n) != frame[6 + n]) {
        ++scan_;
        continue;
      }
      std::copy_n(frame + 6, n, record_.begin());
      if (!queue_.empty() && Fits(queue_.entry(0), n)) {
        queue_.ResetUnansweredSends();
        handler_.DispatchReply(record_, n);
        queue_.RemoveHead();
      }
      const size_t used = scan_ + 6 + n;
      std::copy(buffer_.begin() + used, buffer_.begin() + fill_,
                buffer_.begin());
      fill_ -= used;
      scan_ = 0;
    }
  }

 private:
  bool Fits(const std::vector<uint8_t>& head, uint8_t n) const {
    if (head.front() != record_[0]) return false;
    if (record_[0] != OP_READ_FLASH) return true;
    return n >= 6 &&
           std::equal(head.begin() + 1, head.begin() + 6,
                      record_.begin() + 1) &&
           n >= 6 + record_[5];
  }

  CommandQueue& queue_;
  ReplyHandler& handler_;
  std::array<uint8_t, 300> buffer_{};
  size_t fill_ = 0;
  size_t scan_ = 0;
  ReplyRecord record_{};
};

// Hands the chip programmer's replies on, but judges them by opcode alone.
class OpcodeOnly : public ReplyHandler {
 public:
  explicit OpcodeOnly(ChipProgrammer& programmer) : programmer_(programmer) {}
  void DispatchReply(const ReplyRecord& reply, uint8_t length) override {
    programmer_.DispatchReply(reply, length);
  }

 private:
  ChipProgrammer& programmer_;
};

// The device in the same process: takes the frames the queue writes, and
// answers them in order, one chunk per command (reply, then acknowledgement);
// every `cross_every`-th new command is preceded by a chunk holding an
// acknowledgement alone, which makes the queue send it again.
class InProcessDevice : public LinkHost {
 public:
  explicit InProcessDevice(int cross_every)
      : model_(devsim::BuiltInCatalogue(), {}), cross_every_(cross_every) {}

  bool WriteData(const uint8_t* bytes, uint16_t count) override {
    inbound_.emplace_back(bytes + 6, bytes + count - 1);
    return true;
  }
  void RestartWatchdog() override {}
  void ShowWarning(const std::string&) override { ++warnings_; }

  // Delivers what the device sends next; false when it has nothing to do.
  template <typename Parser>
  bool Step(Parser& parser) {
    if (inbound_.empty()) return false;
    const std::vector<uint8_t> command = std::move(inbound_.front());
    inbound_.pop_front();
    if (command != last_ && cross_every_ > 0 && ++fresh_ % cross_every_ == 0) {
      Deliver(parser, {});
    }

    last_ = command;
    const std::vector<uint8_t> reply =
        model_.HandleCommand(command.data(), command.size());
    chunk_.clear();
    Append(reply);
    Append({});
    parser.Comm321ReceiveData(chunk_.data(), chunk_.size());
    return true;
  }
  template <typename Parser>
  void Deliver(Parser& parser, const std::vector<uint8_t>& payload) {
    chunk_.clear();
    Append(payload);
    parser.Comm321ReceiveData(chunk_.data(), chunk_.size());
  }
  int warnings() const { return warnings_; }

 private:
  void Append(const std::vector<uint8_t>& payload) {
    LayOutFrame(payload.data(), static_cast<uint8_t>(payload.size()), frame_);
    chunk_.insert(chunk_.end(), frame_.bytes.begin(),
                  frame_.bytes.begin() + frame_.size);
  }

  devsim::DeviceModel model_;
  int cross_every_;
  uint64_t fresh_ = 0;
  std::deque<std::vector<uint8_t>> inbound_;
  std::vector<uint8_t> last_;
  std::vector<uint8_t> chunk_;
  TransmitFrame frame_;
  int warnings_ = 0;
};

enum Rule { kPrevious, kOpcodeOnly, kWholeRule };

void RoundTrips(benchmark::State& state, Rule rule, uint8_t opcode,
                int cross_every) {
  uint64_t commands = 0;
  uint64_t frames = 0;
  for (auto _ : state) {
    state.PauseTiming();
    InProcessDevice device(cross_every);
    CommandQueue queue(device);
    DataBuffer buffer;
    NullProgrammingHost host(buffer);
    ChipProgrammer programmer(queue, buffer, host);
    OpcodeOnly opcode_only(programmer);
    ReplyHandler& handler = rule == kWholeRule
                                ? static_cast<ReplyHandler&>(programmer)
                                : opcode_only;
    ReceiveParser parser(queue, device, handler);
    PreviousParser previous(queue, opcode_only);
    buffer.Resize(kFlash);
    for (uint32_t i = 0; i < kFlash; ++i) {
      buffer.Set(i, static_cast<uint8_t>(i * 7));
    }
    for (int pass = 0; pass < kPasses; ++pass) {
      programmer.QueueIndexed(SVC_SELECT_CHIP, kDemo128K);
      for (uint32_t a = 0; a < kFlash; a += kChunkSize) {
        if (opcode == OP_READ_FLASH) {
          programmer.QueueRead(
              opcode, a,
              static_cast<uint8_t>(std::min(kChunkSize, kFlash - a)));
        } else {
          programmer.QueueData(opcode, a, kChunkSize);
        }
      }
      programmer.QueueCommand(SVC_END);
    }
    const uint64_t queued = queue.count();
    state.ResumeTiming();

    const auto run = [&](auto& p) {
      device.Deliver(p, {});  // the first acknowledgement
      while (!queue.empty()) {
        if (!device.Step(p)) device.Deliver(p, {});  // idle
      }
    };
    if (rule == kPrevious) {
      run(previous);
    } else {
      run(parser);
    }
    benchmark::DoNotOptimize(buffer.data());
    commands += queued;
    frames += queue.SendsTotal();
    if (device.warnings() != 0) state.SkipWithError("retry limit reached");
  }
  state.counters["round_trips_per_s"] = benchmark::Counter(
      static_cast<double>(commands), benchmark::Counter::kIsRate);
  state.counters["frames_per_command"] =
      static_cast<double>(frames) / static_cast<double>(commands);
}

BENCHMARK_CAPTURE(RoundTrips, read_previous, kPrevious, OP_READ_FLASH, 0);
BENCHMARK_CAPTURE(RoundTrips, write_previous, kPrevious, OP_WRITE_FLASH, 0);
BENCHMARK_CAPTURE(RoundTrips, read_opcode_only, kOpcodeOnly, OP_READ_FLASH, 0);
BENCHMARK_CAPTURE(RoundTrips, read_whole_rule, kWholeRule, OP_READ_FLASH, 0);
BENCHMARK_CAPTURE(RoundTrips, write_opcode_only, kOpcodeOnly, OP_WRITE_FLASH,
                  0);
BENCHMARK_CAPTURE(RoundTrips, write_whole_rule, kWholeRule, OP_WRITE_FLASH, 0);
BENCHMARK_CAPTURE(RoundTrips, read_whole_rule_crossed, kWholeRule,
                  OP_READ_FLASH, 3);
BENCHMARK_CAPTURE(RoundTrips, write_whole_rule_crossed, kWholeRule,
                  OP_WRITE_FLASH, 3);

// Prints, after the usual table, each whole-rule figure against the
// opcode-only one of the same run.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      // A single run, or the median of repetitions.
      if (!run.aggregate_name.empty() && run.aggregate_name != "median") {
        continue;
      }
      const auto it = run.counters.find("round_trips_per_s");
      if (it != run.counters.end()) {
        rates_[run.run_name.function_name] = it->second;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const char* work : {"read", "write"}) {
      const std::string name = std::string("RoundTrips/") + work;
      const double before = rates_[name + "_previous"];
      const double opcode_only = rates_[name + "_opcode_only"];
      const double after = rates_[name + "_whole_rule"];
      if (before == 0 || opcode_only == 0 || after == 0) continue;
      std::printf(
          "%s: %.0f round trips/s before (previous parser), %.0f opcode only, "
          "%.0f whole rule: %.3f of before, %.3f of opcode only\n",
          work, before, opcode_only, after, after / before,
          after / opcode_only);
    }
  }

 private:
  std::map<std::string, double> rates_;
};

}  // namespace
}  // namespace taktm

int main(int argc, char** argv) {
  // By default the runs are repeated in random order, so that a machine
  // shared with other work loads every variant alike; the medians count.
  std::vector<char*> args(argv, argv + argc);
  char repetitions[] = "--benchmark_repetitions=9";
  char interleave[] = "--benchmark_enable_random_interleaving=true";
  char aggregates[] = "--benchmark_report_aggregates_only=true";
  if (argc == 1) args.insert(args.end(), {repetitions, interleave, aggregates});
  argc = static_cast<int>(args.size());
  argv = args.data();
  benchmark::Initialize(&argc, argv);
  taktm::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
