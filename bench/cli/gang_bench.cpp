// takt-m-cli on four programmers at once against one, by hand: a full
// write plus verify of the 128 KiB chip (every option on: signature, erase,
// signature, 586 write chunks, 586 verify chunks, four lock bits) with a
// serial number and a production log, on one takt-m-devsim instance, then
// on four at once, each paced at 56,000 bit/s. The four share one event
// loop; the goal is that the four together take at most 1.10 times as long
// as one.
// Run: cli_gang_bench [--unpaced]. Paced, it takes about two minutes.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "harness/cli_process.h"
#include "harness/devsim_process.h"
#include "harness/random_bytes.h"
#include "harness/temp_dir.h"
#include "harness/verifiable_catalogue.h"

namespace taktm::testing {
namespace {

using Clock = std::chrono::steady_clock;

// Every number after "key" in the command line's JSON output.
std::vector<double> JsonNumbers(const std::string& json,
                                const std::string& key) {
  std::vector<double> numbers;
  const std::string tag = "\"" + key + "\":";
  for (size_t at = json.find(tag); at != std::string::npos;
       at = json.find(tag, at + 1)) {
    numbers.push_back(std::atof(json.c_str() + at + tag.size()));
  }
  return numbers;
}

// One run of the command line on `ports`; its wall time in ms, or -1.
double Run(const TempDir& dir, const std::vector<std::string>& ports) {
  std::string list;
  for (const std::string& p : ports) list += (list.empty() ? "" : ",") + p;
  const Clock::time_point start = Clock::now();
  const CliResult r = RunCliProcess(
      {"--port", list, "--chip", "DEMO-128K", "--json", "--quiet", "--serial",
       "0x1FFFC:" + dir.File("counter"), "--log", dir.File("log.jsonl"),
       "write-flash", dir.File("image.bin")},
      dir.File("cfg"), 900000);
  const double ms =
      std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  if (r.status != 0) {
    std::fprintf(stderr, "takt-m-cli failed (%d): %s%s\n", r.status,
                 r.out.c_str(), r.err.c_str());
    return -1;
  }
  for (double op : JsonNumbers(r.out, "operation_ms")) {
    std::printf("    operation %.0f ms\n", op);
  }
  for (double whole : JsonNumbers(r.out, "duration_ms")) {
    std::printf("    whole port run %.0f ms\n", whole);
  }
  return ms;
}

int Main(bool paced) {
  TempDir dir;
  if (!WriteVerifiableCatalogue(dir.File("chips.txt"))) return 1;
  WriteFile(dir.File("image.bin"), RandomBytes(kBigFlashSize, 12345));
  WriteFile(dir.File("counter"), "1\n");
  std::vector<std::unique_ptr<DevsimProcess>> devices;
  std::vector<std::string> ports;
  for (int i = 0; i < 4; ++i) {
    std::vector<std::string> args = {"--chips", dir.File("chips.txt"),
                                     "--ack-ms", "20"};
    if (paced) args.insert(args.end(), {"--baud", "56000"});
    devices.push_back(std::make_unique<DevsimProcess>(args));
    if (devices.back()->port().empty()) return 1;
    ports.push_back(devices.back()->port());
  }
  std::printf(
      "Write plus verify of the 128 KiB chip%s, serial number and "
      "log on\n",
      paced ? ", paced at 56000 bit/s" : ", unpaced");
  std::printf("  one port:\n");
  const double one = Run(dir, {ports[0]});
  if (one < 0) return 1;
  std::printf("  four ports at once:\n");
  const double four = Run(dir, ports);
  if (four < 0) return 1;
  std::printf(
      "  one port %.0f ms, four ports %.0f ms, ratio %.3f "
      "(goal at most 1.10)\n",
      one, four, four / one);
  return 0;
}

}  // namespace
}  // namespace taktm::testing

int main(int argc, char** argv) {
  const bool paced = !(argc > 1 && std::strcmp(argv[1], "--unpaced") == 0);
  return taktm::testing::Main(paced);
}
