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
// 1 would mean it adds no time at all.
#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "devsim/devsim_process.h"
#include "devsim/test_files.h"
#include "e2e/headless_host.h"
#include "e2e/verifiable_catalogue.h"

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

// Counts the frames of the log lines from `from` on: every command, every
// reply, and each acknowledgement directly followed by a command.
WireCount CountFrames(const std::vector<std::string>& lines, size_t from) {
  WireCount count;
  for (size_t i = from; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.rfind("RX ", 0) == 0) {
      ++count.commands;
      count.command_bytes += PayloadBytes(line.substr(3)) + kFrameOverhead;
    } else if (line == "TX ACK") {
      const bool releases =
          i + 1 < lines.size() && lines[i + 1].rfind("RX ", 0) == 0;
      if (releases && count.commands > 0) {
        ++count.releasing_acks;
      } else if (count.commands > 0 && i + 1 < lines.size()) {
        ++count.idle_acks;  // sent while the program had not yet answered
      }
    } else if (line.rfind("TX ", 0) == 0) {
      ++count.replies;
      count.reply_bytes += PayloadBytes(line.substr(3)) + kFrameOverhead;
    }
  }
  return count;
}

struct RunResult {
  bool ok = false;
  double elapsed_s = 0;
  WireCount wire;
  double mean_reaction_ms = 0;
  double max_reaction_ms = 0;
  double reaction_total_s = 0;
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
  if (devsim.port().empty()) {
    std::fprintf(stderr, "takt-m-devsim did not start\n");
    return result;
  }
  HeadlessHost host(devsim.port());
  if (!host.open()) {
    std::fprintf(stderr, "port: %s\n", host.open_error().c_str());
    return result;
  }
  ChipProgrammer& programmer = host.programmer();
  host.FormShow();
  if (!host.RunUntil(
          [&] {
            return programmer.chip_rows().size() == 1 && host.queue().empty();
          },
          30000)) {
    std::fprintf(stderr, "discovery did not finish\n");
    return result;
  }
  programmer.ListBox1Click(0);
  if (!host.RunUntilIdle(30000)) return result;
  host.core().working_file().SetWorkingFile(dir.File("image.bin"));
  int write_row = -1;
  for (size_t k = 0; k < programmer.operation_rows().size(); ++k) {
    if (programmer.operation_rows()[k] == "Записать память программ") {
      write_row = static_cast<int>(k);
    }
  }
  if (write_row < 0) return result;

  // The program's own share of each command: from the received chunk that
  // completed the acknowledgement to the moment the port has written the
  // command it released (the serial port writes from the event loop).
  Clock::time_point last_receive{};
  Clock::time_point first_write{};
  Clock::time_point write_called{};
  double reaction_sum = 0;
  size_t reactions = 0;
  host.on_receive = [&](const uint8_t*, uint16_t) {
    last_receive = Clock::now();
  };
  host.on_write = [&](const uint8_t*, uint16_t) {
    write_called = Clock::now();
    if (first_write == Clock::time_point{}) first_write = write_called;
  };
  host.comm().OnTXEMPTY = [&](TComm32*) {
    if (write_called == Clock::time_point{}) return;
    const double ms =
        std::chrono::duration<double, std::milli>(Clock::now() - last_receive)
            .count();
    write_called = {};
    reaction_sum += ms;
    ++reactions;
    if (ms > result.max_reaction_ms) result.max_reaction_ms = ms;
  };

  const size_t log_before = ReadLines(log).size();
  programmer.ListBox2Click(0, write_row);
  const bool done = host.RunUntilIdle(600000);
  const Clock::time_point end = Clock::now();
  host.on_receive = nullptr;
  host.on_write = nullptr;
  host.comm().OnTXEMPTY = nullptr;

  result.elapsed_s = Seconds(end - first_write);
  result.wire = CountFrames(ReadLines(log), log_before);
  result.mean_reaction_ms = reactions ? reaction_sum / reactions : 0;
  result.reaction_total_s = reaction_sum / 1000;
  const Bytes chip =
      ReadBytes(dir.File(baud ? "paced" : "unpaced") + "/DEMO-128K.flash");
  result.ok = done && programmer.status_text() == "Все верно." && chip == image;
  if (!result.ok) {
    std::fprintf(stderr, "run failed: status \"%s\", chip %s the image\n",
                 programmer.status_text().c_str(),
                 chip == image ? "equals" : "differs from");
  }
  return result;
}

int Main() {
  TempDir dir;
  if (!WriteVerifiableCatalogue(dir.File("chips.txt"))) return 1;
  Bytes image(kBigFlashSize);
  uint32_t x = 12345;
  for (uint8_t& b : image) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  {
    std::ofstream out(dir.File("image.bin"), std::ios::binary);
    out.write(reinterpret_cast<const char*>(image.data()),
              static_cast<std::streamsize>(image.size()));
  }

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
  std::printf("  time above the limit  %.3f ms per command, of which\n",
              (paced.elapsed_s - limit_s) * 1000 / w.commands);
  std::printf(
      "    the program's       %.3f ms (mean; max %.3f ms, from the "
      "acknowledgement received to the command written)\n",
      paced.mean_reaction_ms, paced.max_reaction_ms);
  std::printf(
      "    the emulator's and the system's %.3f ms\n",
      (paced.elapsed_s - limit_s - paced.reaction_total_s) * 1000 / w.commands);

  const RunResult unpaced = WriteAndVerify(dir, image, 0);
  if (!unpaced.ok) return 1;
  std::printf("\nUnpaced:\n");
  std::printf("  commands %zu, elapsed %.3f s\n", unpaced.wire.commands,
              unpaced.elapsed_s);
  std::printf("  round trips per second %.0f (%.1f us each)\n",
              unpaced.wire.commands / unpaced.elapsed_s,
              unpaced.elapsed_s * 1e6 / unpaced.wire.commands);
  std::printf("  program's reaction    mean %.3f ms, max %.3f ms\n",
              unpaced.mean_reaction_ms, unpaced.max_reaction_ms);
  return 0;
}

}  // namespace
}  // namespace taktm::testing

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  return taktm::testing::Main();
}
