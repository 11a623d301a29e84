// takt-m-cli beside the window's core, by hand:
//  1. Write plus verify of the whole 128 KiB chip of takt-m-devsim (every
//     option on: signature, erase, signature, 586 write chunks, 586 verify
//     chunks, four lock bits), by the program core in this process (as the
//     window drives it) and by the takt-m-cli binary, alternately on the same
//     emulator, unpaced and then paced at 56,000 bit/s. Both should take the
//     same time within noise: the command line adds no work per command.
//     The operation's time is from the choice of the operation to the last
//     reply; the command line's whole run (start, discovery, chip selection,
//     exit) is printed too.
//  2. Start-up: from starting the takt-m-cli process to its first frame on
//     the line, seen by the emulator (its frame log), and as the program
//     measures it from entering main().
// Run: cli_bench [--no-paced]. The paced part takes about two minutes.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "harness/cli_process.h"
#include "harness/devsim_process.h"
#include "harness/headless_host.h"
#include "harness/random_bytes.h"
#include "harness/temp_dir.h"
#include "harness/verifiable_catalogue.h"

namespace taktm::testing {
namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// A number after "key": in the command line's JSON output, or -1.
double JsonNumber(const std::string& json, const std::string& key) {
  const size_t at = json.find("\"" + key + "\":");
  if (at == std::string::npos) return -1;
  return std::atof(json.c_str() + at + key.size() + 3);
}

// The window's core: discovery and chip selection untimed, then the write
// plus verify timed up to the last reply. -1 when it failed.
double CoreWriteAndVerify(const std::string& port, const std::string& image) {
  HeadlessHost host(port);
  if (!host.open()) return -1;
  ChipProgrammer& programmer = host.programmer();
  programmer.StartDiscovery();
  if (!host.RunUntil(
          [&] {
            return programmer.chip_rows().size() == 1 && host.queue().empty();
          },
          30000)) {
    return -1;
  }
  programmer.SelectChip(0);
  if (!host.RunUntilIdle(30000)) return -1;
  host.core().working_file().SetWorkingFile(image);
  if (!programmer.IsOperationAllowed(OP_WRITE_FLASH)) return -1;
  QElapsedTimer clock;
  clock.start();
  programmer.RunOperation(0, OP_WRITE_FLASH);
  const bool done = host.RunUntilIdle(600000);
  const double ms = static_cast<double>(clock.elapsed());
  return done && programmer.outcome().kind == OutcomeKind::kAllRight ? ms : -1;
}

struct CliRun {
  double operation_ms = -1;
  double whole_ms = -1;
};

CliRun CliWriteAndVerify(const std::string& port, const std::string& image,
                         const std::string& config) {
  const Clock::time_point start = Clock::now();
  const CliResult r =
      RunCliProcess({"--port", port, "--json", "--quiet", "write-flash", image},
                    config, 600000);
  CliRun run;
  if (r.status != 0) {
    std::fprintf(stderr, "takt-m-cli failed (%d): %s%s\n", r.status,
                 r.out.c_str(), r.err.c_str());
    return run;
  }
  run.whole_ms =
      std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  run.operation_ms = JsonNumber(r.out, "operation_ms");
  return run;
}

bool CompareWrites(const TempDir& dir, const std::string& image, int baud,
                   int rounds) {
  std::vector<std::string> args = {"--chips", dir.File("chips.txt"), "--ack-ms",
                                   "20"};
  if (baud) args.insert(args.end(), {"--baud", std::to_string(baud)});
  DevsimProcess devsim(args);
  if (devsim.port().empty()) return false;
  std::vector<double> core, cli, whole;
  for (int i = 0; i < rounds; ++i) {
    const double c = CoreWriteAndVerify(devsim.port(), image);
    const CliRun l = CliWriteAndVerify(devsim.port(), image, dir.File("cfg"));
    if (c < 0 || l.operation_ms < 0) return false;
    core.push_back(c);
    cli.push_back(l.operation_ms);
    whole.push_back(l.whole_ms);
    std::printf(
        "  round %d: core %.0f ms, command line %.0f ms (whole run "
        "%.0f ms)\n",
        i + 1, c, l.operation_ms, l.whole_ms);
  }
  std::printf(
      "  median: core %.0f ms, command line %.0f ms, ratio %.3f; "
      "whole command-line run %.0f ms\n",
      Median(core), Median(cli), Median(cli) / Median(core), Median(whole));
  return true;
}

off_t FileSize(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_size : 0;
}

// Starts takt-m-cli `info` and watches the emulator's frame log until the
// first command arrives; the program's own figure comes from its JSON.
bool MeasureStartup(const TempDir& dir, int rounds) {
  const std::string log = dir.File("startup.log");
  DevsimProcess devsim({"--log", log, "--ack-ms", "1"});
  if (devsim.port().empty()) return false;
  std::vector<double> external, internal, whole;
  for (int i = 0; i < rounds; ++i) {
    const off_t before = FileSize(log);
    const Clock::time_point start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, STDOUT_FILENO);
      ::setenv("XDG_CONFIG_HOME", dir.File("cfg").c_str(), 1);
      ::execl(TAKT_CLI_PATH, TAKT_CLI_PATH, "--port", devsim.port().c_str(),
              "info", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    double first = -1;
    while (first < 0 && Clock::now() - start < std::chrono::seconds(10)) {
      if (FileSize(log) > before) {
        first = std::chrono::duration<double, std::milli>(Clock::now() - start)
                    .count();
      }
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    whole.push_back(
        std::chrono::duration<double, std::milli>(Clock::now() - start)
            .count());
    if (first < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      return false;
    }
    external.push_back(first);
    // The same once more with the program's own measurement.
    const CliResult r = RunCliProcess(
        {"--port", devsim.port(), "--json", "info"}, dir.File("cfg"));
    internal.push_back(JsonNumber(r.out, "first_frame_ms"));
  }
  std::printf(
      "  process start to first frame at the device: median %.1f ms, "
      "min %.1f ms, max %.1f ms\n",
      Median(external), *std::min_element(external.begin(), external.end()),
      *std::max_element(external.begin(), external.end()));
  std::printf(
      "  main() to first frame written (the program's figure): "
      "median %.0f ms\n",
      Median(internal));
  std::printf("  whole `info` run (start, discovery, exit): median %.1f ms\n",
              Median(whole));
  return true;
}

int Main(bool paced) {
  TempDir dir;
  if (!WriteVerifiableCatalogue(dir.File("chips.txt"))) return 1;
  const Bytes image = RandomBytes(kBigFlashSize, 12345);
  WriteFile(dir.File("image.bin"), image);
  std::printf(
      "Start-up of takt-m-cli (20 runs, emulator acknowledging "
      "every 1 ms while idle)\n");
  if (!MeasureStartup(dir, 20)) return 1;
  std::printf("\nWrite plus verify of the 128 KiB chip, unpaced\n");
  if (!CompareWrites(dir, dir.File("image.bin"), 0, 3)) return 1;
  if (paced) {
    std::printf(
        "\nWrite plus verify of the 128 KiB chip, paced at 56000 "
        "bit/s\n");
    if (!CompareWrites(dir, dir.File("image.bin"), 56000, 1)) return 1;
  }
  return 0;
}

}  // namespace
}  // namespace taktm::testing

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const bool paced = !(argc > 1 && std::strcmp(argv[1], "--no-paced") == 0);
  return taktm::testing::Main(paced);
}
