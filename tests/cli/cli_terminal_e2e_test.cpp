// takt-m-cli with its progress on a terminal: a pseudo-terminal the test
// makes, of a set width, as standard error. Every redraw of the bar must fit
// the terminal (a wider one wraps and stacks half-bars), and a dumb terminal
// gets plain lines without escape codes. Also what a script meets: usage
// errors under --json as JSON, and JSON that stays UTF-8.
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/ioctl.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "cli/utf8_text.h"
#include "harness/cli_process.h"
#include "harness/devsim_process.h"
#include "harness/random_bytes.h"
#include "harness/temp_dir.h"

namespace taktm::testing {
namespace {

struct TerminalRun {
  int status = -1;
  std::string screen;  // all the child wrote to the terminal
};

// Runs takt-m-cli with standard error on a new pseudo-terminal `columns`
// wide and TERM=`term`; standard output goes to the same terminal too,
// as in an interactive shell.
TerminalRun RunOnTerminal(const std::vector<std::string>& args, int columns,
                          const std::string& term,
                          const std::string& config_home) {
  TerminalRun run;
  std::vector<std::string> words = {TAKT_CLI_PATH};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<std::string> env_words = {"TERM=" + term,
                                        "XDG_CONFIG_HOME=" + config_home};
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    // The width must come from the terminal, not from the environment.
    if (entry.rfind("TERM=", 0) != 0 && entry.rfind("COLUMNS=", 0) != 0 &&
        entry.rfind("XDG_CONFIG_HOME=", 0) != 0) {
      env_words.push_back(entry);
    }
  }
  std::vector<char*> argv, envp;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  for (std::string& w : env_words) envp.push_back(w.data());
  envp.push_back(nullptr);

  int master = -1, slave = -1;
  winsize size{};
  size.ws_row = 24;
  size.ws_col = static_cast<unsigned short>(columns);
  if (::openpty(&master, &slave, nullptr, nullptr, &size) != 0) return run;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(slave, STDOUT_FILENO);
    ::dup2(slave, STDERR_FILENO);
    ::close(master);
    ::close(slave);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(slave);
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(120);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) {
      ::kill(pid, SIGKILL);
      break;
    }
    pollfd p{master, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
    char buffer[4096];
    const ssize_t n = ::read(master, buffer, sizeof buffer);
    if (n <= 0) break;  // EIO once the child has closed its end
    run.screen.append(buffer, static_cast<size_t>(n));
  }
  ::close(master);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
  return run;
}

// The pieces of the screen between carriage returns and line feeds: each
// is what one redraw (or one line) puts on a row.
std::vector<std::string> Rows(const std::string& screen) {
  std::vector<std::string> rows;
  std::string row;
  for (const char c : screen) {
    if (c == '\r' || c == '\n') {
      if (!row.empty()) rows.push_back(row);
      row.clear();
    } else {
      row += c;
    }
  }
  if (!row.empty()) rows.push_back(row);
  return rows;
}

class CliTerminalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Paced like a real line, so that the write takes a few seconds and
    // the bar is redrawn many times.
    devsim_ = std::make_unique<DevsimProcess>(
        std::vector<std::string>{"--ack-ms", "20", "--baud", "56000"});
    ASSERT_FALSE(devsim_->port().empty()) << "takt-m-devsim did not start";
    WriteFile(dir_.File("image.bin"), RandomBytes(6000, 7));
  }

  TerminalRun Write(int columns, const std::string& term) {
    return RunOnTerminal({"-p", devsim_->port(), "-c", "DEMO-8K", "write-flash",
                          dir_.File("image.bin")},
                         columns, term, dir_.File("cfg"));
  }

  TempDir dir_;
  std::unique_ptr<DevsimProcess> devsim_;
};

TEST_F(CliTerminalTest, EveryRedrawFitsTheTerminalsWidth) {
  for (const int columns : {60, 200}) {
    SCOPED_TRACE(columns);
    const TerminalRun run = Write(columns, "xterm");
    ASSERT_EQ(run.status, 0) << run.screen;
    EXPECT_EQ(run.screen.find('\033'), std::string::npos) << run.screen;
    int bars = 0;
    for (const std::string& row : Rows(run.screen)) {
      EXPECT_LT(CodePointCount(row), static_cast<size_t>(columns)) << row;
      if (row.find("байт") != std::string::npos) ++bars;
      // Wide enough for the whole line: the bar is kept.
      if (columns == 200 && row.find("байт") != std::string::npos) {
        EXPECT_NE(row.find("] "), std::string::npos) << row;
      }
    }
    EXPECT_GE(bars, 5) << "the bar was hardly redrawn:\n" << run.screen;
    EXPECT_NE(run.screen.find("Все верно."), std::string::npos);
  }
}

TEST_F(CliTerminalTest, DumbTerminalGetsPlainLinesWithoutEscapeCodes) {
  const TerminalRun run = Write(80, "dumb");
  ASSERT_EQ(run.status, 0) << run.screen;
  EXPECT_EQ(run.screen.find('\033'), std::string::npos) << run.screen;
  // The terminal turns each line feed into CR LF; no other carriage return
  // goes out, so nothing is drawn over.
  for (size_t at = run.screen.find('\r'); at != std::string::npos;
       at = run.screen.find('\r', at + 1)) {
    ASSERT_LT(at + 1, run.screen.size());
    EXPECT_EQ(run.screen[at + 1], '\n') << run.screen;
  }
  EXPECT_NE(run.screen.find("Записать память программ: 100% ("),
            std::string::npos)
      << run.screen;
}

TEST(CliJsonTest, UsageErrorsAndForeignBytesStayJson) {
  TempDir dir;
  CliResult r =
      RunCliProcess({"--json", "-b", "fast", "chips"}, dir.File("cfg"));
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out,
            "{\"status\":\"usage\",\"exit\":2,"
            "\"message\":\"Неверная скорость: fast\"}\n");
  EXPECT_EQ(r.err, "");

  // A command word in CP1251 ("Стереть"): refused, the bytes replaced.
  r = RunCliProcess({"--json", "\xD1\xF2\xE5\xF0\xE5\xF2\xFC"},
                    dir.File("cfg"));
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(ValidUtf8(r.out), r.out);
  EXPECT_NE(r.out.find("Неизвестная команда \xEF\xBF\xBD"), std::string::npos)
      << r.out;

  // A file name in Latin-1 on a port that does not open: one object.
  r = RunCliProcess({"--json", "-p", dir.File("no-port"), "-c", "0",
                     "write-flash", dir.File("caf\xE9.bin")},
                    dir.File("cfg"));
  EXPECT_NE(r.status, 0);
  EXPECT_EQ(ValidUtf8(r.out), r.out);
  EXPECT_EQ(r.out.front(), '{') << r.out;
}

}  // namespace
}  // namespace taktm::testing
