// The counter and the log in a PostgreSQL database shared by stations: a
// server of the test's own (initdb in a temporary folder, a Unix socket
// there), two takt-m-cli processes of four ports each, sixteen takers at
// once, and the server stopped in the middle of a run.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "harness/cli_process.h"
#include "harness/devsim_process.h"
#include "harness/pg_server.h"
#include "harness/random_bytes.h"
#include "harness/sha256sum.h"
#include "harness/temp_dir.h"

namespace taktm::testing {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kFlashSize = 8192;  // DEMO-8K

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> v;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) v.push_back(line);
  }
  return v;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> v;
  std::istringstream in(line);
  for (std::string f; std::getline(in, f, '|');) v.push_back(f);
  if (!line.empty() && line.back() == '|') v.push_back("");
  return v;
}

// What a chip must hold: the image, 0xFF after it, the number at `at`.
Bytes Expected(const Bytes& image, uint32_t serial, uint32_t at) {
  Bytes chip = image;
  chip.resize(kFlashSize, 0xFF);
  for (uint32_t i = 0; i < 4; ++i) {
    chip[at + i] = static_cast<uint8_t>(serial >> (8 * i));
  }
  return chip;
}

class DbE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (PgServer::BinDir().empty()) {
      GTEST_SKIP() << "no PostgreSQL server installed (scripts/bootstrap db)";
    }
    server_ = std::make_unique<PgServer>();
    ASSERT_EQ(server_->error(), "");
    const CliResult init = Cli({"db-init", server_->Uri()});
    if (Contains(init.err, "QPSQL")) {
      GTEST_SKIP() << "no PostgreSQL driver for Qt SQL (scripts/bootstrap db)";
    }
    ASSERT_EQ(init.status, 0) << init.err;
  }

  void StartDevices(size_t n, const std::vector<std::string>& extra = {}) {
    for (size_t i = 0; i < n; ++i) {
      std::vector<std::string> args = {"--memory-dir", Memory(i), "--ack-ms",
                                       "20"};
      args.insert(args.end(), extra.begin(), extra.end());
      devices_.push_back(std::make_unique<DevsimProcess>(args));
      ASSERT_FALSE(devices_.back()->port().empty()) << "device " << i;
    }
  }
  std::string File(const std::string& name) const { return dir_.File(name); }
  std::string Memory(size_t i) const { return File("mem" + std::to_string(i)); }
  Bytes Chip(size_t i) const { return ReadBytes(Memory(i) + "/DEMO-8K.flash"); }
  std::string Port(size_t i) const { return devices_[i]->port(); }
  std::string Ports(size_t from, size_t n) const {
    std::string list;
    for (size_t i = from; i < from + n; ++i) {
      list += (list.empty() ? "" : ",") + Port(i);
    }
    return list;
  }
  CliResult Cli(const std::vector<std::string>& args) {
    return RunCliProcess(args, File("cfg"), 120000);
  }

  TempDir dir_;
  std::unique_ptr<PgServer> server_;
  std::vector<std::unique_ptr<DevsimProcess>> devices_;
};

// Two stations of four ports each, at once, from one counter: eight
// distinct consecutive numbers, eight rows, every chip its image and its
// number. One station gives the counter's name in the URI and the width
// after it; the other gives them as options.
TEST_F(DbE2eTest, TwoStationsOfFourPortsShareOneCounter) {
  ASSERT_NO_FATAL_FAILURE(StartDevices(8));
  const Bytes image = RandomBytes(8000, 3);
  WriteFile(File("image.bin"), image);
  constexpr uint32_t kAt = 0x1FF0;
  const std::string uri = server_->Uri();
  CliResult a;
  CliResult b;
  std::thread station_a([&] {
    a = Cli({"--port", Ports(0, 4), "--chip", "DEMO-8K", "--serial",
             "0x1FF0:" + uri + "&counter=line:4:bin", "--log", uri, "--station",
             "A", "write-flash", File("image.bin")});
  });
  std::thread station_b([&] {
    b = Cli({"--port", Ports(4, 4), "--chip", "DEMO-8K", "--serial",
             "0x1FF0:" + uri, "--serial-name", "line", "--log", uri,
             "--station", "B", "write-flash", File("image.bin")});
  });
  station_a.join();
  station_b.join();
  ASSERT_EQ(a.status, 0) << a.out << a.err;
  ASSERT_EQ(b.status, 0) << b.out << b.err;
  // No word from the SQL layer or the server beside the run's own.
  for (const CliResult* r : {&a, &b}) {
    EXPECT_FALSE(Contains(r->err, "QSql")) << r->err;
    EXPECT_FALSE(Contains(r->err, "NOTICE")) << r->err;
  }

  const std::vector<std::string> rows = Lines(server_->Sql(
      "SELECT station, port, serial, status, serial_used, counter, chip"
      " FROM takt_chips ORDER BY serial"));
  ASSERT_EQ(rows.size(), 8u) << server_->Sql("SELECT * FROM takt_chips");
  std::map<std::string, uint32_t> serial_of_port;
  std::map<std::string, int> per_station;
  std::set<uint32_t> serials;
  for (const std::string& row : rows) {
    const std::vector<std::string> f = Fields(row);
    ASSERT_EQ(f.size(), 7u) << row;
    EXPECT_EQ(f[3], "ok") << row;
    EXPECT_EQ(f[4], "t") << row;
    EXPECT_EQ(f[5], "line") << row;
    EXPECT_EQ(f[6], "DEMO-8K") << row;
    ++per_station[f[0]];
    serial_of_port[f[1]] = static_cast<uint32_t>(std::stoul(f[2]));
    serials.insert(static_cast<uint32_t>(std::stoul(f[2])));
  }
  EXPECT_EQ(per_station, (std::map<std::string, int>{{"A", 4}, {"B", 4}}));
  EXPECT_EQ(serials, (std::set<uint32_t>{1, 2, 3, 4, 5, 6, 7, 8}));
  for (size_t i = 0; i < 8; ++i) {
    SCOPED_TRACE("device " + std::to_string(i));
    ASSERT_EQ(serial_of_port.count(Port(i)), 1u);
    EXPECT_TRUE(Chip(i) == Expected(image, serial_of_port[Port(i)], kAt));
  }
  EXPECT_EQ(server_->Sql("SELECT next FROM takt_counters WHERE name='line'"),
            "9\n");
  // The queries docs/cli.md gives a line's people.
  const std::vector<std::string> yield = Lines(server_->Sql(
      "SELECT station, date_trunc('day', time) AS day,"
      " count(*) FILTER (WHERE status = 'ok') AS good, count(*) AS chips,"
      " round(100.0 * count(*) FILTER (WHERE status = 'ok') / count(*), 1)"
      " AS yield FROM takt_chips GROUP BY station, day ORDER BY day, station"));
  ASSERT_EQ(yield.size(), 2u);
  EXPECT_EQ(yield[0].rfind("A|", 0), 0u);
  EXPECT_TRUE(Contains(yield[1], "|4|4|100.0")) << yield[1];
  EXPECT_EQ(Lines(server_->Sql("SELECT serial, station, port, time, status,"
                               " sha256 FROM takt_chips WHERE counter = "
                               "'line' AND serial BETWEEN 3 AND 6 AND status"
                               " = 'ok' ORDER BY serial"))
                .size(),
            4u);
  EXPECT_EQ(server_->Sql("SELECT serial, station, port, time, status, message"
                         " FROM takt_chips WHERE counter = 'line' AND serial"
                         " IS NOT NULL AND (serial_used = false OR status ="
                         " 'started') ORDER BY serial"),
            "");
}

// Sixteen takers of 200 numbers each at once: 3,200 distinct numbers, one
// run without gaps, a row for each, and the burnt ones (a chip that
// failed) recorded as burnt.
TEST_F(DbE2eTest, SixteenTakersNeverShareANumber) {
  constexpr int kTakers = 16;
  constexpr int kEach = 200;
  std::vector<std::string> outputs(kTakers);
  std::vector<std::thread> threads;
  for (int t = 0; t < kTakers; ++t) {
    threads.emplace_back([&, t] {
      const std::string command =
          std::string(TAKT_DB_TAKE_PATH) + " '" + server_->Uri() + "' " +
          std::to_string(kEach) + " 37 s" + std::to_string(t);
      FILE* p = ::popen(command.c_str(), "r");
      if (p == nullptr) return;
      char buffer[256];
      while (std::fgets(buffer, sizeof buffer, p) != nullptr) {
        outputs[t] += buffer;
      }
      ::pclose(p);
    });
  }
  for (std::thread& t : threads) t.join();
  std::set<uint64_t> taken;
  std::set<uint64_t> burnt;
  for (int t = 0; t < kTakers; ++t) {
    const std::vector<std::string> lines = Lines(outputs[t]);
    ASSERT_EQ(lines.size(), static_cast<size_t>(kEach)) << "taker " << t;
    for (const std::string& line : lines) {
      const uint64_t n = std::stoull(line);
      EXPECT_TRUE(taken.insert(n).second) << "given twice: " << n;
      if (Contains(line, "burnt")) burnt.insert(n);
    }
  }
  ASSERT_EQ(taken.size(), 3200u);
  // Every number from the first to the last was given out.
  EXPECT_EQ(*taken.rbegin() - *taken.begin() + 1, 3200u);
  // One row per number, each started row closed.
  EXPECT_EQ(server_->Sql("SELECT count(*), count(DISTINCT serial),"
                         " count(*) FILTER (WHERE status = 'started')"
                         " FROM takt_chips"),
            "3200|3200|0\n");
  std::set<uint64_t> burnt_rows;
  for (const std::string& line : Lines(server_->Sql(
           "SELECT serial FROM takt_chips WHERE NOT serial_used"))) {
    burnt_rows.insert(std::stoull(line));
  }
  EXPECT_EQ(burnt_rows, burnt);
  EXPECT_EQ(burnt.size(), static_cast<size_t>(kTakers * (kEach / 37)));
}

// The server stopped while four ports write: every port fails with the
// database's reason, none reports success without its row, and after a
// restart the counter goes on above every number given out.
TEST_F(DbE2eTest, ServerStoppedMidRunFailsEveryPortWithItsReason) {
  // Slow replies: the write lasts long enough to stop the server in it.
  ASSERT_NO_FATAL_FAILURE(StartDevices(4, {"--latency-ms", "30"}));
  const Bytes image = RandomBytes(8000, 4);
  WriteFile(File("image.bin"), image);
  const std::string uri = server_->Uri();
  // The number at the start of the image: taken with the first chunk, the
  // whole write and verify still to come.
  CliChild run(
      {"--json", "--port", Ports(0, 4), "--chip", "DEMO-8K", "--serial",
       "0x10:" + uri, "--log", uri, "write-flash", File("image.bin")},
      File("cfg"), File("run"));
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (server_->Sql("SELECT count(*) FROM takt_chips WHERE status = "
                      "'started'") != "4\n") {
    ASSERT_LT(std::chrono::steady_clock::now(), deadline);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  server_->Stop();
  const int status = run.Wait(120000);
  const std::string out = ReadText(File("run.out"));
  EXPECT_EQ(status, 6) << out << ReadText(File("run.err"));
  EXPECT_FALSE(Contains(out, "\"status\":\"ok\"")) << out;
  // Each port's message: ours, the URI, then the database's own reason.
  size_t reasons = 0;
  const std::string tag = "\"message\":\"";
  for (size_t at = out.find(tag); at != std::string::npos;
       at = out.find(tag, at + 1)) {
    const std::string message = out.substr(
        at + tag.size(), out.find('"', at + tag.size()) - at - tag.size());
    for (const std::string& ours : {"Нет связи с базой данных " + uri + ": ",
                                    "Ошибка базы данных " + uri + ": "}) {
      if (message.rfind(ours, 0) == 0 && message.size() > ours.size() + 5) {
        ++reasons;
      }
    }
  }
  EXPECT_EQ(reasons, 4u) << out;

  ASSERT_TRUE(server_->Start());
  // The four numbers stay on record as taken and not known to be used.
  const std::vector<std::string> given = Lines(
      server_->Sql("SELECT serial, status FROM takt_chips ORDER BY serial"));
  ASSERT_EQ(given.size(), 4u);
  uint64_t highest = 0;
  for (const std::string& row : given) {
    EXPECT_EQ(Fields(row)[1], "started") << row;
    highest = std::max<uint64_t>(highest, std::stoull(Fields(row)[0]));
  }
  const CliResult again =
      Cli({"--port", Port(0), "--chip", "DEMO-8K", "--serial", "0x10:" + uri,
           "--log", uri, "write-flash", File("image.bin")});
  ASSERT_EQ(again.status, 0) << again.out << again.err;
  EXPECT_EQ(server_->Sql("SELECT serial FROM takt_chips WHERE status = 'ok'"),
            std::to_string(highest + 1) + "\n");
  EXPECT_TRUE(Chip(0) ==
              Expected(image, static_cast<uint32_t>(highest + 1), 0x10));
}

// Unreachable from the start: nothing reaches a chip, the reason is named.
TEST_F(DbE2eTest, UnreachableDatabaseTouchesNoChip) {
  ASSERT_NO_FATAL_FAILURE(StartDevices(1, {"--log", File("frames")}));
  WriteFile(File("image.bin"), RandomBytes(100, 5));
  server_->Stop();
  const CliResult r =
      Cli({"--port", Port(0), "--chip", "DEMO-8K", "--serial",
           "0x10:" + server_->Uri(), "write-flash", File("image.bin")});
  EXPECT_EQ(r.status, 6);
  EXPECT_TRUE(Contains(r.err, "Нет связи с базой данных " + server_->Uri() +
                                  ": connection to server on socket"))
      << r.err;
  EXPECT_FALSE(Contains(ReadText(File("frames")), "RX "));
}

// A file counter with a database log, and a database counter with a log
// file: each number still has its started record before the chip gets it.
TEST_F(DbE2eTest, EitherRecordMayBeAFile) {
  ASSERT_NO_FATAL_FAILURE(StartDevices(2));
  const Bytes image = RandomBytes(500, 6);
  WriteFile(File("image.bin"), image);
  WriteFile(File("counter"), "500\n");
  const std::string uri = server_->Uri();
  CliResult r = Cli({"--port", Port(0), "--chip", "DEMO-8K", "--serial",
                     "0x10:" + File("counter"), "--log", uri, "--station", "F",
                     "write-flash", File("image.bin")});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(ReadText(File("counter")), "501\n");
  EXPECT_EQ(server_->Sql("SELECT serial, station, status, counter IS NULL"
                         " FROM takt_chips"),
            "500|F|ok|t\n");

  r = Cli({"--port", Port(1), "--chip", "DEMO-8K", "--serial",
           "0x10:" + uri + "&counter=c2", "--log", File("log.jsonl"),
           "write-flash", File("image.bin")});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const std::vector<std::string> lines = ReadLines(File("log.jsonl"));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(Contains(lines[0], "\"serial\":1,\"status\":\"started\""))
      << lines[0];
  EXPECT_TRUE(Contains(lines[1], "\"serial\":1,\"serial_used\":true"))
      << lines[1];
  EXPECT_TRUE(Chip(1) == Expected(image, 1, 0x10));
}

// A counter past what the number's place holds, and a schema newer than
// the program: refused before any chip, the counter left as it was.
TEST_F(DbE2eTest, RefusedBeforeAnyChip) {
  ASSERT_NO_FATAL_FAILURE(StartDevices(1, {"--log", File("frames")}));
  WriteFile(File("image.bin"), RandomBytes(100, 7));
  const std::string uri = server_->Uri();
  server_->Sql("INSERT INTO takt_counters VALUES ('default', 65536)");
  CliResult r = Cli({"--port", Port(0), "--chip", "DEMO-8K", "--serial",
                     "0x10:" + uri + ":2", "write-flash", File("image.bin")});
  EXPECT_EQ(r.status, 6);
  EXPECT_TRUE(Contains(r.err, "Номер 65536 из счётчик \"default\"")) << r.err;
  EXPECT_EQ(server_->Sql("SELECT next FROM takt_counters"), "65536\n");

  server_->Sql("INSERT INTO takt_schema (version) VALUES (2)");
  r = Cli({"--port", Port(0), "--chip", "DEMO-8K", "--serial", "0x10:" + uri,
           "write-flash", File("image.bin")});
  EXPECT_EQ(r.status, 6);
  EXPECT_TRUE(Contains(r.err, "схема версии 2 новее этой программы (1)"))
      << r.err;
  r = Cli({"db-init", uri});
  EXPECT_EQ(r.status, 6);
  EXPECT_FALSE(Contains(ReadText(File("frames")), "RX "));
}

// SIGTERM in the middle of a write: the port's row says interrupted, with
// the number and whether it went out, committed before the process ends.
TEST_F(DbE2eTest, AnInterruptedRunClosesItsRow) {
  ASSERT_NO_FATAL_FAILURE(StartDevices(1, {"--latency-ms", "30"}));
  WriteFile(File("image.bin"), RandomBytes(8000, 8));
  const std::string uri = server_->Uri();
  CliChild run({"--port", Port(0), "--chip", "DEMO-8K", "--serial",
                "0x10:" + uri, "--log", uri, "write-flash", File("image.bin")},
               File("cfg"), File("run"));
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (server_->Sql("SELECT count(*) FROM takt_chips") != "1\n") {
    ASSERT_LT(std::chrono::steady_clock::now(), deadline);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  run.Signal(SIGTERM);
  EXPECT_EQ(run.Wait(60000), 143) << ReadText(File("run.err"));
  // Whether the number went out depends on when the signal came; it is
  // said either way.
  const std::string row = server_->Sql(
      "SELECT serial, status, exit, signal, serial_used,"
      " serial_sent IS NOT NULL FROM takt_chips");
  EXPECT_EQ(row, "1|interrupted|143|SIGTERM|f|t\n");
}

// program's one row names both images and their fingerprints in the file
// and sha256 columns, and a run stopped at the signature names the step.
TEST_F(DbE2eTest, ProgramRowNamesBothImagesAndTheFailedStep) {
  ASSERT_NO_FATAL_FAILURE(StartDevices(1));
  WriteFile(File("fw.bin"), RandomBytes(700, 8));
  WriteFile(File("cal.bin"), RandomBytes(40, 9));
  const std::string uri = server_->Uri();
  const std::vector<std::string> args = {
      "--chip",
      "DEMO-8K",
      "--log",
      uri,
      "program",
      "--flash",
      File("fw.bin"),
      "--eeprom",
      File("cal.bin"),
      "--locks",
      "-",
      "--serial",
      "eeprom:0x20:" + uri + "&counter=ee:2"};
  std::vector<std::string> good = {"--port", Port(0)};
  good.insert(good.end(), args.begin(), args.end());
  const CliResult r = Cli(good);
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(server_->Sql("SELECT command, file, sha256, serial, status"
                         " FROM takt_chips"),
            "program|flash:" + File("fw.bin") + " eeprom:" + File("cal.bin") +
                "|flash:" + Sha256SumOf(File("fw.bin")) +
                " eeprom:" + Sha256SumOf(File("cal.bin")) + "|1|ok\n");
  devices_.clear();
  ASSERT_NO_FATAL_FAILURE(StartDevices(1, {"--wrong-signature"}));
  std::vector<std::string> bad = {"--port", Port(0)};
  bad.insert(bad.end(), args.begin(), args.end());
  EXPECT_EQ(Cli(bad).status, 4);
  const std::string row = server_->Sql(
      "SELECT status, serial IS NULL, message FROM takt_chips"
      " WHERE status <> 'ok'");
  EXPECT_TRUE(Contains(row,
                       "wrong-signature|t|Программирование остановлено "
                       "на шаге \"проверка сигнатуры\""))
      << row;
}

}  // namespace
}  // namespace taktm::testing
