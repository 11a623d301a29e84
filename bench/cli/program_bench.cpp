// takt-m-cli program against the four commands it replaces, by hand: a
// product of DEMO-8K (an 8 KiB flash image, a 512-byte EEPROM image, fuses
// and locks) programmed by one `program` run and by write-flash,
// write-eeprom, write-fuses and write-locks one after another, on
// takt-m-devsim paced at 56,000 bit/s. Each of the four separate commands
// opens the port and discovers the device again; `program` does so once.
// Prints each way's elapsed time (median of three runs) and their ratio, at
// two idle paces of the device.
// Run: cli_program_bench
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "harness/cli_process.h"
#include "harness/devsim_process.h"
#include "harness/random_bytes.h"
#include "harness/temp_dir.h"

namespace taktm::testing {
namespace {

using Clock = std::chrono::steady_clock;

// The commands' wall time in ms, or -1 when one failed.
double Time(const TempDir& dir,
            const std::vector<std::vector<std::string>>& commands) {
  const Clock::time_point start = Clock::now();
  for (const std::vector<std::string>& args : commands) {
    const CliResult r = RunCliProcess(args, dir.File("cfg"), 600000);
    if (r.status != 0) {
      std::fprintf(stderr, "takt-m-cli failed (%d): %s%s\n", r.status,
                   r.out.c_str(), r.err.c_str());
      return -1;
    }
  }
  return std::chrono::duration<double, std::milli>(Clock::now() - start)
      .count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

int Compare(const TempDir& dir, const std::string& ack_ms) {
  DevsimProcess device({"--baud", "56000", "--ack-ms", ack_ms});
  if (device.port().empty()) return 1;
  const std::vector<std::string> common = {
      "--port", device.port(), "--baud",     "56000",
      "--chip", "DEMO-8K",     "--defaults", "--quiet"};
  auto with = [&](std::vector<std::string> words) {
    words.insert(words.begin(), common.begin(), common.end());
    return words;
  };
  const std::vector<std::vector<std::string>> separate = {
      // The lock bits are write-locks' to set, as in program.
      with({"--no-set-locks", "write-flash", dir.File("fw.bin")}),
      with({"write-eeprom", dir.File("cal.bin")}),
      with({"write-fuses", "CLK0,BOOT"}), with({"write-locks", "1"})};
  const std::vector<std::vector<std::string>> program = {
      with({"program", "--flash", dir.File("fw.bin"), "--eeprom",
            dir.File("cal.bin"), "--fuses", "CLK0,BOOT", "--locks", "1"})};
  std::vector<double> four, one;
  for (int i = 0; i < 3; ++i) {
    const double a = Time(dir, separate);
    const double b = Time(dir, program);
    if (a < 0 || b < 0) return 1;
    four.push_back(a);
    one.push_back(b);
  }
  const double a = Median(four), b = Median(one);
  std::printf(
      "  device idle pace %4s ms: four commands %7.0f ms, program %7.0f ms, "
      "ratio program/four %.3f (%.0f ms saved)\n",
      ack_ms.c_str(), a, b, b / a, a - b);
  return 0;
}

int Main() {
  TempDir dir;
  WriteFile(dir.File("fw.bin"), RandomBytes(8192, 2024));
  WriteFile(dir.File("cal.bin"), RandomBytes(512, 2025));
  std::printf(
      "DEMO-8K product (8 KiB flash, 512 B EEPROM, fuses, locks) at 56000 "
      "bit/s, median of 3:\n");
  for (const char* ack : {"20", "100", "1000"}) {
    if (Compare(dir, ack) != 0) return 1;
  }
  return 0;
}

}  // namespace
}  // namespace taktm::testing

int main() { return taktm::testing::Main(); }
