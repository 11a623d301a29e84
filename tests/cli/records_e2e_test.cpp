// takt-m-cli's records against takt-m-devsim: every file has one role, an
// output to an open descriptor keeps what the descriptor holds, the settings
// store never holds the program up, and every number taken is in the log,
// also when the run is stopped by a signal or killed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

}  // namespace
}  // namespace taktm::testing
