// takt-m-cli's records against takt-m-devsim: every file has one role, an
// output to an open descriptor keeps what the descriptor holds, the settings
// store never holds the program up, and every number taken is in the log,
// also when the run is stopped by a signal or killed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "harness/cli_process.h"
#include "harness/devsim_process.h"
#include "harness/random_bytes.h"
#include "harness/temp_dir.h"

namespace taktm::testing {
namespace {

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Runs the binary with standard output on `out_path` opened with `flags`
// (O_APPEND: a shell's `>>`), standard error into `err_path`; the status.
int RunWithOutput(const std::vector<std::string>& args,
                  const std::string& config_home, const std::string& out_path,
                  int flags, const std::string& err_path) {
  ExecArgs exec(args, config_home);
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int o = ::open(out_path.c_str(), flags | O_CREAT, 0600);
    const int e = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (o < 0 || e < 0) ::_exit(126);
    ::dup2(o, STDOUT_FILENO);
    ::dup2(e, STDERR_FILENO);
    ::execve(exec.argv[0], exec.argv.data(), exec.envp.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The log's lines about `number`, by their status word.
std::vector<std::string> StatusesOf(const std::vector<std::string>& log,
                                    uint64_t number) {
  std::vector<std::string> statuses;
  const std::string key = "\"serial\":" + std::to_string(number) + ",";
  for (const std::string& line : log) {
    if (!Contains(line, key)) continue;
    const size_t at = line.find("\"status\":\"");
    if (at == std::string::npos) continue;
    const size_t from = at + 10;
    statuses.push_back(line.substr(from, line.find('"', from) - from));
  }
  return statuses;
}

class RecordsE2eTest : public ::testing::Test {
 protected:
  void StartDevice(std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"--memory-dir",     File("mem"), "--log",
                                     File("frames.log"), "--ack-ms",  "20"};
    args.insert(args.end(), extra.begin(), extra.end());
    device_ = std::make_unique<DevsimProcess>(args);
    ASSERT_FALSE(device_->port().empty());
  }
  std::string File(const std::string& name) const { return dir_.File(name); }
  bool Received() const {
    for (const std::string& line : ReadLines(File("frames.log"))) {
      if (line.rfind("RX ", 0) == 0) return true;
    }
    return false;
  }
  CliResult Cli(std::vector<std::string> args) {
    args.insert(args.begin(), {"--port", device_->port(), "--chip", "DEMO-8K"});
    return RunCliProcess(args, File("cfg"), 60000);
  }

  TempDir dir_;
  std::unique_ptr<DevsimProcess> device_;
};

// The three command lines that lost records before: each is refused as a
// usage error before any port opens, and no file is touched.
TEST_F(RecordsE2eTest, OneFileInTwoRolesIsRefused) {
  ASSERT_NO_FATAL_FAILURE(StartDevice());
  WriteFile(File("c.txt"), "1000\n");
  WriteFile(File("fw.bin"), std::string(500, 'a'));
  CliResult r = Cli({"--serial", "0x1FFC:" + File("c.txt"), "--log",
                     File("c.txt"), "write-flash", File("fw.bin")});
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_TRUE(Contains(r.err, "Один файл в двух ролях")) << r.err;
  EXPECT_EQ(ReadText(File("c.txt")), "1000\n");

  ASSERT_EQ(::symlink(File("fw.bin").c_str(), File("fw-link").c_str()), 0);
  for (const char* log : {"fw.bin", "fw-link"}) {
    r = Cli({"--json", "--log", File(log), "write-flash", File("fw.bin")});
    EXPECT_EQ(r.status, 2) << log;
    EXPECT_TRUE(Contains(r.out, "\"status\":\"usage\"")) << r.out;
    EXPECT_TRUE(Contains(r.out, "журнал (--log) и образ команды write-flash"))
        << r.out;
  }
  EXPECT_EQ(ReadText(File("fw.bin")), std::string(500, 'a'));

  r = Cli({"--log", File("dump.bin"), "read-flash", File("dump.bin")});
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_TRUE(Contains(r.err, "файл команды read-flash")) << r.err;
  struct stat st {};
  EXPECT_NE(::stat(File("dump.bin").c_str(), &st), 0);  // not even made
  EXPECT_FALSE(Received());

  r = Cli({"--log", File("a.jsonl"), "--log", File("b.jsonl"), "erase"});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(Contains(r.err, "Ключ --log указан дважды")) << r.err;
  EXPECT_FALSE(Received());
}

// `read-flash /dev/stdout >> file`: the image goes after what the file
// held, as the shell asked; before, the file was overwritten from its start
// and cut to the image.
TEST_F(RecordsE2eTest, AReadToStandardOutputKeepsAnAppendedFile) {
  ASSERT_NO_FATAL_FAILURE(StartDevice());
  const std::vector<uint8_t> earlier = RandomBytes(14000, 5);
  const std::string out = File("out.bin");
  WriteFile(out, earlier);
  std::vector<uint8_t> expected = earlier;
  for (const char* target : {"/dev/stdout", "/proc/self/fd/1"}) {
    const int status = RunWithOutput(
        {"--port", device_->port(), "--chip", "DEMO-8K", "read-flash", target},
        File("cfg"), out, O_WRONLY | O_APPEND, File("err.txt"));
    EXPECT_EQ(status, 0) << ReadText(File("err.txt"));
    EXPECT_TRUE(Contains(ReadText(File("err.txt")), "Прочитано 8192 байт"));
    const std::vector<uint8_t> chip = ReadBytes(File("mem/DEMO-8K.flash"));
    expected.insert(expected.end(), chip.begin(), chip.end());
    EXPECT_EQ(ReadBytes(out), expected) << target;
  }
}

// A store that is a pipe held the command line in its open for ever (also
// with --timeout); a 1 GiB one took twice that in memory. Both are now left
// unread with a word, and the run goes on with the defaults.
TEST_F(RecordsE2eTest, AnUnfitSettingsStoreNeverHoldsTheRun) {
  ASSERT_NO_FATAL_FAILURE(StartDevice());
  for (const bool fifo : {true, false}) {
    const std::string home = File(fifo ? "cfg-fifo" : "cfg-big");
    const std::string store = home + "/ZARVENTIK/TAKT-M.conf";
    ASSERT_EQ(::mkdir(home.c_str(), 0700), 0);
    ASSERT_EQ(::mkdir((home + "/ZARVENTIK").c_str(), 0700), 0);
    if (fifo) {
      ASSERT_EQ(::mkfifo(store.c_str(), 0600), 0);
    } else {
      const int fd = ::open(store.c_str(), O_WRONLY | O_CREAT, 0600);
      ASSERT_GE(fd, 0);
      ASSERT_EQ(::ftruncate(fd, off_t{1} << 30), 0);  // sparse
      ::close(fd);
    }
    const CliResult r = RunCliProcess(
        {"--port", device_->port(), "--timeout", "5", "info"}, home, 20000);
    EXPECT_EQ(r.status, 0) << store << ": " << r.err;
    EXPECT_TRUE(Contains(r.err, "takt-m-cli: Хранилище настроек " + store +
                                    " не читается; действуют значения по "
                                    "умолчанию"))
        << r.err;
  }
}

// Runs stopped by SIGTERM, SIGINT and SIGHUP before and after their chip
// took its number, and runs killed outright at several points: each signal
// ends its run with an "interrupted" line and the shell's status; every
// number the counter gave out has at least its "started" line, and every
// run not killed outright a closing line for it.
TEST_F(RecordsE2eTest, EveryNumberTakenIsOnRecordWhateverStopsTheRun) {
  const std::vector<uint8_t> image = RandomBytes(8000, 3);
  WriteFile(File("image.bin"), image);
  WriteFile(File("counter"), "500\n");
  struct Stop {
    int signal;
    const char* at;  // a line the device's frame log reaches, or "counter"
  };
  const Stop stops[] = {
      {SIGTERM, "RX 0A"},  {SIGTERM, "counter"}, {SIGINT, "RX 0A"},
      {SIGINT, "counter"}, {SIGHUP, "counter"},  {SIGKILL, "RX FE"},
      {SIGKILL, "RX 0A"},  {SIGKILL, "counter"}, {SIGKILL, "counter"},
      {SIGKILL, "RX 0B"},  {0, nullptr},
  };
  for (size_t i = 0; i < std::size(stops); ++i) {
    const Stop& stop = stops[i];
    SCOPED_TRACE("run " + std::to_string(i));
    const std::string n = std::to_string(i);
    DevsimProcess device({"--memory-dir", File("mem" + n), "--log",
                          File("frames" + n), "--ack-ms", "20", "--latency-ms",
                          "4"});
    ASSERT_FALSE(device.port().empty());
    const std::string before = ReadText(File("counter"));
    const pid_t cli =
        StartCli({"--port", device.port(), "--chip", "DEMO-8K", "--quiet",
                  "--serial", "0x1FF0:" + File("counter"), "--log",
                  File("log.jsonl"), "write-flash", File("image.bin")},
                 File("cfg"), File("cli" + n));
    ASSERT_GT(cli, 0);
    if (stop.signal == 0) {
      EXPECT_EQ(WaitExit(cli, 30000), 0) << ReadText(File("cli" + n + ".err"));
      continue;
    }
    const std::string point = stop.at;
    auto reached = [&] {
      if (point == "counter") return ReadText(File("counter")) != before;
      for (const std::string& line : ReadLines(File("frames" + n))) {
        if (line.rfind(point, 0) == 0) return true;
      }
      return false;
    };
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!reached() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    EXPECT_TRUE(reached());
    ::kill(cli, stop.signal);
    const int status = WaitExit(cli, 20000);
    EXPECT_EQ(status, 128 + stop.signal);
    if (stop.signal == SIGKILL) continue;
    const std::vector<std::string> log = ReadLines(File("log.jsonl"));
    ASSERT_FALSE(log.empty());
    const std::string& last = log.back();
    EXPECT_TRUE(Contains(last, "\"status\":\"interrupted\",\"exit\":" +
                                   std::to_string(128 + stop.signal)))
        << last;
    if (ReadText(File("counter")) != before) {
      const uint64_t taken = std::stoull(before);
      EXPECT_TRUE(Contains(last, "\"serial\":" + std::to_string(taken) +
                                     ",\"serial_used\":false,"
                                     "\"serial_sent\":true"))
          << last;
    } else {
      EXPECT_TRUE(Contains(last, "\"serial\":null")) << last;
    }
  }
  // Every number in the counter's history is in the log; only a run killed
  // outright may leave a number with no closing line.
  const std::vector<std::string> log = ReadLines(File("log.jsonl"));
  const uint64_t next = std::stoull(ReadText(File("counter")));
  ASSERT_GT(next, 500u);
  for (uint64_t number = 500; number < next; ++number) {
    const std::vector<std::string> statuses = StatusesOf(log, number);
    EXPECT_FALSE(statuses.empty()) << "number " << number << " unlogged";
    EXPECT_TRUE(std::find(statuses.begin(), statuses.end(), "started") !=
                statuses.end())
        << "number " << number;
  }
  EXPECT_EQ(StatusesOf(log, next - 1),
            (std::vector<std::string>{"started", "ok"}));
}

// A log on a full disk: the chip's lines do not fit, so no number is taken
// (its line must come first), the run fails with a file error, and the log
// keeps no cut line for the next good one to be glued onto.
TEST_F(RecordsE2eTest, ALogOnAFullDiskKeepsNoCutLine) {
  ASSERT_NO_FATAL_FAILURE(StartDevice());
  WriteFile(File("image.bin"), RandomBytes(500, 8));
  WriteFile(File("counter"), "42\n");
  // Long enough that standard error, under the same limit, has room.
  std::string old;
  for (int i = 0; i < 40; ++i) {
    old += "{\"status\":\"ok\",\"pad\":\"" + std::string(80, 'x') + "\"}\n";
  }
  WriteFile(File("log.jsonl"), old);
  const std::vector<std::string> args = {
      "--port",         device_->port(),   "--chip",
      "DEMO-8K",        "--serial",        "0x1FF0:" + File("counter"),
      "--log",          File("log.jsonl"), "write-flash",
      File("image.bin")};
  const pid_t full = StartCli(args, File("cfg"), File("full"),
                              static_cast<long>(old.size() + 150));
  ASSERT_GT(full, 0);
  EXPECT_EQ(WaitExit(full, 30000), 6);
  EXPECT_TRUE(
      Contains(ReadText(File("full.err")), "Не удалось записать журнал"))
      << ReadText(File("full.err"));
  EXPECT_EQ(ReadText(File("log.jsonl")), old);
  EXPECT_EQ(ReadText(File("counter")), "42\n");  // no number without a line

  const pid_t room = StartCli(args, File("cfg"), File("room"));
  EXPECT_EQ(WaitExit(room, 30000), 0) << ReadText(File("room.err"));
  const std::vector<std::string> lines = ReadLines(File("log.jsonl"));
  ASSERT_EQ(lines.size(), 42u);
  for (const std::string& line : lines) {
    EXPECT_TRUE(line.front() == '{' && line.back() == '}') << line;
  }
  EXPECT_EQ(StatusesOf(lines, 42), (std::vector<std::string>{"started", "ok"}));
}

}  // namespace
}  // namespace taktm::testing
