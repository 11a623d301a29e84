// Programming throughput end to end: the program core on TComm32 writes and
// verifies the whole 128 KiB chip of takt-m-devsim (every option on:
// signature, erase, signature, 586 write chunks, 586 verify chunks, four lock
// bits), first with the emulator pacing its line at 56,000 bit/s, then
// unpaced. Run by hand; it takes about a minute.
//
// Wire-time model of the paced run. The device paces the link: it takes a
// command only after the command's bytes have crossed the line, answers,
// sends an acknowledgement, and only that acknowledgement lets the program
// send the next command. Nothing overlaps, so the fastest the run can go is
// the time the chain of frames takes on the line:
//   limit = 10 bits * (sum of command frames + sum of reply frames
//                      + the acknowledgements that released a command) / 56000
// counted from the first command of the operation to the reply to its last.
// A frame is its payload plus 7 bytes (preamble, length, header sum, payload
// sum). Idle acknowledgements that released nothing are not counted: they
// appear only when the program is slow to answer one. Bytes are counted from
// the emulator's frame log, which records every frame it received and sent.
// The ratio limit / elapsed tells how close the program comes to the line:
// 1 would mean nothing but the line takes time. The time above the limit is
// then split per command into the program's share (acknowledgement received
// to command written) and the rest (the emulator, the pty, the scheduler).
#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "harness/devsim_process.h"
#include "harness/headless_host.h"
#include "harness/random_bytes.h"
#include "harness/temp_dir.h"
#include "harness/verifiable_catalogue.h"

namespace taktm::testing {
namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

constexpr double kBitsPerByte = 10;
constexpr double kBaud = 56000;
constexpr size_t kFrameOverhead = 7;

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

// Payload length of a log line's hexadecimal bytes ("0A 00 01 ...").
size_t PayloadBytes(const std::string& hex) { return (hex.size() + 1) / 3; }

struct WireCount {
  size_t commands = 0;
  size_t command_bytes = 0;
  size_t replies = 0;
  size_t reply_bytes = 0;
  size_t releasing_acks = 0;
  size_t idle_acks = 0;
  size_t chain_bytes() const {
    return command_bytes + reply_bytes + releasing_acks * kFrameOverhead;
  }
};

bool IsReply(const std::string& line) {
  return line.rfind("TX ", 0) == 0 && line != "TX ACK";
}

// Counts the frames of the log lines from `from` to the last reply: every
// command, every reply, and each acknowledgement directly followed by a
// command. (No faults are injected, so every line is a whole frame.)
WireCount CountFrames(const std::vector<std::string>& lines, size_t from) {
  WireCount count;
  size_t end = lines.size();
  while (end > from && !IsReply(lines[end - 1])) --end;
  for (size_t i = from; i < end; ++i) {
    const std::string& line = lines[i];
    if (line.rfind("RX ", 0) == 0) {
      ++count.commands;
      count.command_bytes += PayloadBytes(line.substr(3)) + kFrameOverhead;
    } else if (line == "TX ACK") {
      if (count.commands == 0) continue;  // before the operation started
      if (lines[i + 1].rfind("RX ", 0) == 0) {
        ++count.releasing_acks;
      } else {
        ++count.idle_acks;  // sent while the program had not yet answered
      }
    } else if (IsReply(line)) {
      ++count.replies;
      count.reply_bytes += PayloadBytes(line.substr(3)) + kFrameOverhead;
    }
  }
  return count;
}

double Mean(const std::vector<double>& v) {
  double sum = 0;
  for (double x : v) sum += x;
  return v.empty() ? 0 : sum / static_cast<double>(v.size());
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[static_cast<size_t>(p * static_cast<double>(v.size() - 1))];
}

// Splits each command's round trip, as the program sees it, into the
// program's share (from the chunk that completed the acknowledgement to the
// port having written the command it released; the serial port writes from
// the event loop) and the device's (from the command written to the next
// acknowledgement complete), the latter with its bytes.
class LinkTimeline {
 public:
  void Received(uint16_t count) {
    last_receive_ = Clock::now();
    received_ += count;
  }
  void WriteCalled(uint16_t count) {
    if (first_write_ == Clock::time_point{}) first_write_ = Clock::now();
    if (written_ != Clock::time_point{}) {  // the previous round trip ended
      device_ms_.push_back(Ms(last_receive_ - written_));
      device_bytes_.push_back(sent_ + received_);
    }
    pending_ = true;
    sent_ = count;
  }
  void Written() {
    if (!pending_) return;
    pending_ = false;
    written_ = Clock::now();
    program_ms_.push_back(Ms(written_ - last_receive_));
    received_ = 0;
  }

  Clock::time_point first_write() const { return first_write_; }
  const std::vector<double>& program_ms() const { return program_ms_; }
  std::vector<double> device_excess_ms(int baud) const {
    std::vector<double> excess;
    for (size_t i = 0; i < device_ms_.size(); ++i) {
      const double wire =
          baud ? device_bytes_[i] * kBitsPerByte * 1000 / baud : 0;
      excess.push_back(device_ms_[i] - wire);
    }
    return excess;
  }

 private:
  static double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
  }

  Clock::time_point first_write_{};
  Clock::time_point last_receive_{};
  Clock::time_point written_{};
  bool pending_ = false;
  size_t sent_ = 0;
  size_t received_ = 0;
  std::vector<double> program_ms_;
  std::vector<double> device_ms_;
  std::vector<size_t> device_bytes_;
};

struct RunResult {
  bool ok = false;
  double elapsed_s = 0;
  WireCount wire;
  // Per command: the program's time from the acknowledgement to the
  // command written, and the rest of the round trip beyond its wire time.
  std::vector<double> program_ms;
  std::vector<double> device_excess_ms;
};

// One write plus verify of the whole chip; `baud` 0 runs unpaced.
RunResult WriteAndVerify(const TempDir& dir, const Bytes& image, int baud) {
  RunResult result;
  const std::string log = dir.File(baud ? "paced.log" : "unpaced.log");
  std::vector<std::string> args = {"--chips",
                                   dir.File("chips.txt"),
                                   "--log",
                                   log,
                                   "--log-acks",
                                   "--memory-dir",
                                   dir.File(baud ? "paced" : "unpaced")};
  if (baud != 0) args.insert(args.end(), {"--baud", std::to_string(baud)});
  DevsimProcess devsim(args);
  HeadlessHost host(devsim.port());
  if (!host.ReadyWithSingleChip(devsim.port(), 30000)) return result;
  ChipProgrammer& programmer = host.programmer();
  host.core().working_file().SetWorkingFile(dir.File("image.bin"));
  if (!programmer.IsOperationAllowed(OP_WRITE_FLASH)) return result;

  LinkTimeline timeline;
  host.on_receive = [&](const uint8_t*, uint16_t count) {
    timeline.Received(count);
  };
  host.on_write = [&](const uint8_t*, uint16_t count) {
    timeline.WriteCalled(count);
  };
  host.comm().OnTXEMPTY = [&](TComm32*) { timeline.Written(); };

  const size_t log_before = ReadLines(log).size();
  programmer.RunOperation(0, OP_WRITE_FLASH);
  const bool done = host.RunUntilIdle(600000);
  const Clock::time_point end = Clock::now();
  host.on_receive = nullptr;
  host.on_write = nullptr;
  host.comm().OnTXEMPTY = nullptr;

  result.elapsed_s = Seconds(end - timeline.first_write());
  result.wire = CountFrames(ReadLines(log), log_before);
  result.program_ms = timeline.program_ms();
  result.device_excess_ms = timeline.device_excess_ms(baud);
  const Bytes chip =
      ReadBytes(dir.File(baud ? "paced" : "unpaced") + "/DEMO-128K.flash");
  result.ok = done && programmer.outcome().kind == OutcomeKind::kAllRight &&
              chip == image;
  if (!result.ok) {
    std::fprintf(stderr, "run failed: status \"%s\", chip %s the image\n",
                 programmer.status_text().c_str(),
                 chip == image ? "equals" : "differs from");
  }
  return result;
}

void PrintShare(const char* what, const std::vector<double>& ms) {
  std::printf(
      "    %s: mean %.3f ms, median %.3f ms, 90%% %.3f ms, max %.3f ms\n", what,
      Mean(ms), Percentile(ms, 0.5), Percentile(ms, 0.9), Percentile(ms, 1.0));
}

int Main() {
  TempDir dir;
  if (!WriteVerifiableCatalogue(dir.File("chips.txt"))) return 1;
  const Bytes image = RandomBytes(kBigFlashSize, 12345);
  WriteFile(dir.File("image.bin"), image);

  std::printf("Write plus verify of the whole 128 KiB chip (%u bytes)\n",
              kBigFlashSize);
  const RunResult paced = WriteAndVerify(dir, image, 56000);
  if (!paced.ok) return 1;
  const WireCount& w = paced.wire;
  const double limit_s =
      static_cast<double>(w.chain_bytes()) * kBitsPerByte / kBaud;
  std::printf("\nPaced at 56000 bit/s (10 bits a byte):\n");
  std::printf(
      "  commands %zu (%zu bytes), replies %zu (%zu bytes), "
      "acknowledgements in the chain %zu (%zu bytes), idle %zu\n",
      w.commands, w.command_bytes, w.replies, w.reply_bytes, w.releasing_acks,
      w.releasing_acks * kFrameOverhead, w.idle_acks);
  std::printf("  bytes in sequence     %zu\n", w.chain_bytes());
  std::printf("  wire-time limit       %.3f s\n", limit_s);
  std::printf("  elapsed               %.3f s\n", paced.elapsed_s);
  std::printf("  ratio limit/elapsed   %.4f (target >= 0.98)\n",
              limit_s / paced.elapsed_s);
  std::printf("  time above the limit  %.3f ms per command (mean), of which\n",
              (paced.elapsed_s - limit_s) * 1000 / w.commands);
  PrintShare("the program's", paced.program_ms);
  PrintShare("the device's and the system's, beyond the wire time",
             paced.device_excess_ms);

  const RunResult unpaced = WriteAndVerify(dir, image, 0);
  if (!unpaced.ok) return 1;
  std::printf("\nUnpaced:\n");
  std::printf("  commands %zu, elapsed %.3f s\n", unpaced.wire.commands,
              unpaced.elapsed_s);
  std::printf("  round trips per second %.0f (%.1f us each)\n",
              unpaced.wire.commands / unpaced.elapsed_s,
              unpaced.elapsed_s * 1e6 / unpaced.wire.commands);
  PrintShare("the program's", unpaced.program_ms);
  PrintShare("the device's and the system's", unpaced.device_excess_ms);
  return 0;
}

}  // namespace
}  // namespace taktm::testing

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  return taktm::testing::Main();
}
