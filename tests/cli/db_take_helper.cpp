// A station that only takes numbers: COUNT numbers from the database
// counter in URI, each with its started row and its closing row, as a port's
// run makes them, every BURNT-th chip failing (its number burnt). Prints
// "NUMBER ok" or "NUMBER burnt" per number; exit 6 on a database error.
#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "cli/db_records.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s URI COUNT BURNT STATION\n", argv[0]);
    return 2;
  }
  std::string error;
  std::optional<taktm::DatabaseUri> uri =
      taktm::ParseDatabaseUri(argv[1], &error);
  if (!uri) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 2;
  }
  const int count = std::atoi(argv[2]);
  const int burnt = std::atoi(argv[3]);
  auto db = std::make_shared<taktm::Database>(std::move(*uri));
  taktm::DbSerialSource counter(db, "default");
  taktm::DbChipLog log(db, argv[4], "default");
  if (error = log.Open(); !error.empty()) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 6;
  }
  for (int i = 0; i < count; ++i) {
    taktm::ChipRecord record;
    record.port = "helper";
    record.command = "write-flash";
    record.serials = true;
    const taktm::CounterResult taken =
        counter.Take(UINT32_MAX, [&](uint64_t number) {
          taktm::ChipRecord started = record;
          started.started = true;
          started.time = std::chrono::system_clock::now();
          started.serial = number;
          return log.Write(started);
        });
    if (!taken.value) {
      std::fprintf(stderr, "%s\n", taken.error.c_str());
      return 6;
    }
    const bool fails = burnt > 0 && i % burnt == burnt - 1;
    record.time = std::chrono::system_clock::now();
    record.serial = taken.value;
    record.status =
        fails ? taktm::ExitStatus::kDeviceFailure : taktm::ExitStatus::kOk;
    if (error = log.Write(record); !error.empty()) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 6;
    }
    std::printf("%llu %s\n", static_cast<unsigned long long>(*taken.value),
                fails ? "burnt" : "ok");
  }
  return 0;
}
