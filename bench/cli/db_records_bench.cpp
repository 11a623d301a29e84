// The serial counter and the production log in a database against the
// file forms, by hand, on a PostgreSQL server of the benchmark's own (a
// Unix socket in a temporary folder):
//   1. a number taken (with its started record) and a chip's closing
//      record committed, in this process, many times over;
//   2. a four-port write plus verify of the 128 KiB chip with a serial
//      number and a log, files against the database (goal: at most 1.02
//      times as long).
// Run: cli_db_bench [--unpaced] [--takes N] [--runs N]. The server flushes
// its commits to the disk, as the counter file does. Paced, part 2 takes
// about two minutes a run.
#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli/db_records.h"
#include "cli/record_stores.h"
#include "harness/cli_process.h"
#include "harness/devsim_process.h"
#include "harness/pg_server.h"
#include "harness/random_bytes.h"
#include "harness/temp_dir.h"
#include "harness/verifiable_catalogue.h"

namespace taktm::testing {
namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point from) {
  return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

struct Figures {
  double take_median = 0;
  double take_mean = 0;
  double row_median = 0;
  double row_mean = 0;
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t half = v.size() / 2;
  return v.size() % 2 == 1 ? v[half] : (v[half - 1] + v[half]) / 2;
}

double Mean(const std::vector<double>& v) {
  double sum = 0;
  for (double x : v) sum += x;
  return sum / static_cast<double>(v.size());
}

// `takes` numbers, each with its started record, then its closing record.
bool Measure(SerialSource& counter, ChipLog& log, int takes, Figures* f) {
  std::vector<double> take_ms;
  std::vector<double> row_ms;
  for (int i = 0; i < takes; ++i) {
    ChipRecord record;
    record.port = "/dev/ttyUSB0";
    record.device = "bench";
    record.chip = "DEMO-128K";
    record.command = "write-flash";
    record.file = "/tmp/image.bin";
    record.sha256 = std::string(64, 'a');
    record.serials = true;
    Clock::time_point start = Clock::now();
    const CounterResult taken = counter.Take(UINT32_MAX, [&](uint64_t n) {
      ChipRecord started = record;
      started.started = true;
      started.time = std::chrono::system_clock::now();
      started.serial = n;
      return log.Write(started);
    });
    take_ms.push_back(Ms(start));
    if (!taken.value) {
      std::fprintf(stderr, "take failed: %s\n", taken.error.c_str());
      return false;
    }
    record.time = std::chrono::system_clock::now();
    record.serial = taken.value;
    record.bytes = 262144;
    start = Clock::now();
    if (const std::string e = log.Write(record); !e.empty()) {
      std::fprintf(stderr, "row failed: %s\n", e.c_str());
      return false;
    }
    row_ms.push_back(Ms(start));
  }
  *f = {Median(take_ms), Mean(take_ms), Median(row_ms), Mean(row_ms)};
  return true;
}

// One four-port run; its wall time in ms, or -1.
double Run(const TempDir& dir, const std::vector<std::string>& ports,
           const std::string& counter, const std::string& log) {
  std::string list;
  for (const std::string& p : ports) list += (list.empty() ? "" : ",") + p;
  const Clock::time_point start = Clock::now();
  const CliResult r =
      RunCliProcess({"--port", list, "--chip", "DEMO-128K", "--json", "--quiet",
                     "--serial", "0x1FFFC:" + counter, "--log", log,
                     "write-flash", dir.File("image.bin")},
                    dir.File("cfg"), 900000);
  const double ms = Ms(start);
  if (r.status != 0) {
    std::fprintf(stderr, "takt-m-cli failed (%d): %s%s\n", r.status,
                 r.out.c_str(), r.err.c_str());
    return -1;
  }
  return ms;
}

int Main(bool paced, int takes, int runs) {
  PgServer server(/*durable=*/true);
  if (!server.error().empty()) {
    std::fprintf(stderr, "no database server: %s\n", server.error().c_str());
    return 1;
  }
  TempDir dir;
  std::string error;
  auto db = std::make_shared<Database>(*ParseDatabaseUri(server.Uri(), &error));
  DbSerialSource db_counter(db, "bench");
  DbChipLog db_log(db, "bench-station", "bench");
  if (error = db_log.Open(); !error.empty()) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  WriteFile(dir.File("counter"), "1\n");
  FileSerialSource file_counter(dir.File("counter"));
  FileChipLog file_log;
  if (error = file_log.Open(dir.File("log.jsonl")); !error.empty()) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  Figures files;
  Figures database;
  if (!Measure(file_counter, file_log, takes, &files) ||
      !Measure(db_counter, db_log, takes, &database)) {
    return 1;
  }
  std::printf(
      "A number taken with its started record, %d times (median, "
      "mean):\n",
      takes);
  std::printf("  files     %.3f ms, %.3f ms\n", files.take_median,
              files.take_mean);
  std::printf("  database  %.3f ms, %.3f ms  (%.2f times the files)\n",
              database.take_median, database.take_mean,
              database.take_median / files.take_median);
  std::printf("A chip's closing record committed (median, mean):\n");
  std::printf("  files     %.3f ms, %.3f ms\n", files.row_median,
              files.row_mean);
  std::printf("  database  %.3f ms, %.3f ms  (%.2f times the files)\n",
              database.row_median, database.row_mean,
              database.row_median / files.row_median);

  if (!WriteVerifiableCatalogue(dir.File("chips.txt"))) return 1;
  WriteFile(dir.File("image.bin"), RandomBytes(kBigFlashSize, 12345));
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
  std::printf("Four ports, write plus verify of the 128 KiB chip%s:\n",
              paced ? ", paced at 56000 bit/s" : ", unpaced");
  // In turns, so that the machine's other load falls on both alike.
  std::vector<double> with_files;
  std::vector<double> with_db;
  for (int i = 0; i < runs; ++i) {
    with_files.push_back(
        Run(dir, ports, dir.File("counter"), dir.File("run.jsonl")));
    with_db.push_back(Run(dir, ports, server.Uri(), server.Uri()));
    if (with_files.back() < 0 || with_db.back() < 0) return 1;
    std::printf("  run %d: files %.0f ms, database %.0f ms\n", i + 1,
                with_files.back(), with_db.back());
  }
  std::printf(
      "  median of %d: files %.0f ms, database %.0f ms, ratio %.3f (goal at "
      "most 1.02)\n",
      runs, Median(with_files), Median(with_db),
      Median(with_db) / Median(with_files));
  return 0;
}

}  // namespace
}  // namespace taktm::testing

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  bool paced = true;
  int takes = 500;
  int runs = 3;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--unpaced") == 0) paced = false;
    if (std::strcmp(argv[i], "--takes") == 0 && i + 1 < argc) {
      takes = std::max(1, std::atoi(argv[++i]));
    }
    if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    }
  }
  return taktm::testing::Main(paced, takes, runs);
}
