// User-interface responsiveness during programming: while the program core
// on TComm32 writes and verifies the whole 128 KiB chip of takt-m-devsim
// (signature, erase, signature, 586 write chunks, 586 verify chunks, four
// lock bits), a 10 ms heartbeat QTimer runs on the same main thread. Every
// gap between two beats beyond the interval is time the thread could not
// serve the user; the longest one is the figure that matters (budget 50 ms).
// Runs unpaced (the device answers at once: the most work per second for
// the main thread) and paced at 56,000 bit/s (as on a real cable).
//   ui_stall_bench            both runs
//   ui_stall_bench unpaced    the unpaced run only
// Run by hand; the paced run takes about a minute.
#include <time.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "harness/devsim_process.h"
#include "harness/headless_host.h"
#include "harness/temp_dir.h"
#include "harness/verifiable_catalogue.h"

namespace taktm::testing {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kBeatMs = 10;
constexpr double kBudgetMs = 50;

struct StallResult {
  bool ok = false;
  double elapsed_s = 0;
  size_t beats = 0;
  std::vector<double> gaps_ms;  // time between consecutive beats
  std::vector<double> cpu_ms;   // the main thread's CPU time in each gap
};

// CPU time of the calling thread: tells a gap the program filled with work
// from one in which a loaded machine did not run it at all.
double ThreadCpuMs() {
  timespec t{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 +
         static_cast<double>(t.tv_nsec) / 1e6;
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * v.size()))];
}

StallResult WriteAndVerify(const TempDir& dir, const Bytes& image, int baud) {
  StallResult result;
  std::vector<std::string> args = {"--chips", dir.File("chips.txt"),
                                   "--memory-dir",
                                   dir.File(baud ? "paced" : "unpaced")};
  if (baud != 0) args.insert(args.end(), {"--baud", std::to_string(baud)});
  DevsimProcess devsim(args);
  HeadlessHost host(devsim.port());
  if (!host.ReadyWithSingleChip(devsim.port(), 30000)) return result;
  ChipProgrammer& programmer = host.programmer();
  host.core().working_file().SetWorkingFile(dir.File("image.bin"));
  if (!programmer.IsOperationAllowed(OP_WRITE_FLASH)) return result;

  QElapsedTimer clock;
  QTimer heartbeat;
  heartbeat.setTimerType(Qt::PreciseTimer);
  heartbeat.setInterval(kBeatMs);
  qint64 last_beat_ns = 0;
  double last_cpu_ms = 0;
  QObject::connect(&heartbeat, &QTimer::timeout, [&] {
    const qint64 now = clock.nsecsElapsed();
    const double cpu = ThreadCpuMs();
    result.gaps_ms.push_back(static_cast<double>(now - last_beat_ns) / 1e6);
    result.cpu_ms.push_back(cpu - last_cpu_ms);
    last_beat_ns = now;
    last_cpu_ms = cpu;
  });
  clock.start();
  heartbeat.start();
  last_beat_ns = clock.nsecsElapsed();
  last_cpu_ms = ThreadCpuMs();

  // The user's click runs on the main thread too: it reloads the file and
  // queues every command before the first beat can come.
  programmer.RunOperation(0, OP_WRITE_FLASH);
  const bool done = host.RunUntilIdle(600000);
  heartbeat.stop();
  result.elapsed_s = static_cast<double>(clock.nsecsElapsed()) / 1e9;
  result.beats = result.gaps_ms.size();
  const Bytes chip =
      ReadBytes(dir.File(baud ? "paced" : "unpaced") + "/DEMO-128K.flash");
  result.ok = done && programmer.outcome().kind == OutcomeKind::kAllRight &&
              chip == image;
  return result;
}

void Report(const char* name, const StallResult& r) {
  if (!r.ok) {
    std::printf("%s: the write did not complete and verify\n", name);
    return;
  }
  const auto longest_at =
      std::max_element(r.gaps_ms.begin(), r.gaps_ms.end()) - r.gaps_ms.begin();
  const double longest = r.gaps_ms.empty() ? 0 : r.gaps_ms[longest_at];
  const double busiest =
      r.cpu_ms.empty() ? 0
                       : *std::max_element(r.cpu_ms.begin(), r.cpu_ms.end());
  const size_t over = static_cast<size_t>(
      std::count_if(r.gaps_ms.begin(), r.gaps_ms.end(),
                    [](double g) { return g - kBeatMs > kBudgetMs; }));
  std::printf(
      "%s: write+verify of 128 KiB in %.2f s, %zu heartbeats of %d ms\n"
      "  gap between beats: median %.2f ms, 99th percentile %.2f ms, "
      "longest %.2f ms (the main thread ran %.2f ms of it)\n"
      "  longest stall (gap beyond the interval) %.2f ms = %.2f of the "
      "%.0f ms budget; stalls over budget: %zu\n"
      "  most main-thread CPU time between two beats: %.2f ms = %.2f of the "
      "budget\n",
      name, r.elapsed_s, r.beats, kBeatMs, Percentile(r.gaps_ms, 0.5),
      Percentile(r.gaps_ms, 0.99), longest,
      r.cpu_ms.empty() ? 0 : r.cpu_ms[longest_at],
      std::max(0.0, longest - kBeatMs),
      std::max(0.0, longest - kBeatMs) / kBudgetMs, kBudgetMs, over, busiest,
      busiest / kBudgetMs);
}

int Main(int argc, char** argv) {
  const bool unpaced_only = argc > 1 && std::strcmp(argv[1], "unpaced") == 0;
  TempDir dir;
  const Bytes image = [] {
    Bytes bytes(kBigFlashSize);
    uint32_t x = 12345;
    for (uint8_t& b : bytes)
      b = static_cast<uint8_t>((x = x * 1103515245 + 12345) >> 16);
    return bytes;
  }();
  std::ofstream(dir.File("image.bin"), std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()),
             static_cast<std::streamsize>(image.size()));
  if (!WriteVerifiableCatalogue(dir.File("chips.txt"))) return 1;

  const StallResult unpaced = WriteAndVerify(dir, image, 0);
  Report("unpaced", unpaced);
  if (unpaced_only) return unpaced.ok ? 0 : 1;
  const StallResult paced = WriteAndVerify(dir, image, 56000);
  Report("paced at 56,000 bit/s", paced);
  return unpaced.ok && paced.ok ? 0 : 1;
}

}  // namespace
}  // namespace taktm::testing

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  return taktm::testing::Main(argc, argv);
}
