// Loading the largest image (0x7FFFF bytes) as the working file: an Intel HEX
// file with data, extended segment and extended linear address records, set
// beside objcopy converting the same file to binary in the same run, and the
// same image as a raw file.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "buffer/intel_hex.h"
#include "buffer/null_buffer_host.h"
#include "buffer/working_file.h"
#include "harness/hex_records.h"
#include "harness/random_bytes.h"
#include "harness/temp_dir.h"

extern char** environ;

namespace taktm {
namespace {

constexpr size_t kImageSize = 0x7FFFF;

struct Files {
  Files() {
    image = testing::RandomBytes(kImageSize, 11);
    hex_text = testing::ImageToHex(image, 32);
    testing::WriteFile(dir.File("image.hex"), hex_text);
    testing::WriteFile(dir.File("image.bin"), image);
  }
  testing::TempDir dir;
  std::vector<uint8_t> image;
  std::string hex_text;
};

Files& TheFiles() {
  static Files files;
  return files;
}

// Runs objcopy to its end; false when it could not run or failed.
bool RunObjcopy(const std::string& in, const std::string& out) {
  const char* argv[] = {"objcopy", "-I",       "ihex",      "-O",
                        "binary",  in.c_str(), out.c_str(), nullptr};
  pid_t pid;
  if (posix_spawnp(&pid, "objcopy", nullptr, nullptr,
                   const_cast<char* const*>(argv), environ) != 0) {
    return false;
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

// LoadFile of the HEX file (read, parse, buffer) against objcopy on it.
// Each iteration times both, so the ratio comes from one run.
void BM_HexLoadBesideObjcopy(benchmark::State& state) {
  Files& files = TheFiles();
  NullBufferHost host;
  DataBuffer buffer;
  BufferEditor editor(buffer, host);
  WorkingFileController working(editor, host);
  working.SetWorkingFile(files.dir.File("image.hex"));
  const std::string out = files.dir.File("objcopy.bin");
  double ours = 0;
  double theirs = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    const LoadOutcome outcome = working.LoadFile();
    const auto t1 = std::chrono::steady_clock::now();
    if (outcome != LoadOutcome::kLoaded || buffer.bytes() != files.image) {
      state.SkipWithError("the HEX file did not load");
      return;
    }
    const auto t2 = std::chrono::steady_clock::now();
    if (!RunObjcopy(files.dir.File("image.hex"), out)) {
      state.SkipWithError("objcopy did not run");
      return;
    }
    const auto t3 = std::chrono::steady_clock::now();
    ours += Seconds(t1 - t0);
    theirs += Seconds(t3 - t2);
    state.SetIterationTime(Seconds(t1 - t0));
  }
  const double n = static_cast<double>(state.iterations());
  const double text_mb = static_cast<double>(files.hex_text.size()) / 1e6;
  state.counters["hex_MB"] = text_mb;
  state.counters["ours_ms"] = ours / n * 1e3;
  state.counters["objcopy_ms"] = theirs / n * 1e3;
  state.counters["ours_MB_s"] = text_mb * n / ours;
  state.counters["objcopy_MB_s"] = text_mb * n / theirs;
  state.counters["objcopy_over_ours"] = theirs / ours;
}
BENCHMARK(BM_HexLoadBesideObjcopy)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The reader alone on text already in memory.
void BM_ReadIntelHexInMemory(benchmark::State& state) {
  const std::string& text = TheFiles().hex_text;
  for (auto _ : state) {
    IntelHexResult r = ReadIntelHex(text);
    benchmark::DoNotOptimize(r.image.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(text.size()) *
                          state.iterations());
}
BENCHMARK(BM_ReadIntelHexInMemory)->Unit(benchmark::kMillisecond);

// LoadFile of the same image as a raw file.
void BM_RawLoad(benchmark::State& state) {
  Files& files = TheFiles();
  NullBufferHost host;
  DataBuffer buffer;
  BufferEditor editor(buffer, host);
  WorkingFileController working(editor, host);
  working.SetWorkingFile(files.dir.File("image.bin"));
  for (auto _ : state) {
    if (working.LoadFile() != LoadOutcome::kLoaded) {
      state.SkipWithError("the raw file did not load");
      return;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(kImageSize) *
                          state.iterations());
}
BENCHMARK(BM_RawLoad)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace taktm

BENCHMARK_MAIN();
