// The serial counter and the production log on real files: numbers taken
// by several processes at once and by processes killed at any moment, and
// log lines from several writers.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "buffer/child_process.h"
#include "cli/production_log.h"
#include "cli/serial_counter.h"
#include "cli/taker_process.h"
#include "harness/temp_dir.h"

namespace taktm::testing {
namespace {

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

TEST(SerialCounterTest, TakesConsecutiveNumbersAndKeepsTheFile) {
  TempDir dir;
  const std::string counter = dir.File("counter");
  WriteText(counter, "1000\n");
  ASSERT_EQ(::chmod(counter.c_str(), 0640), 0);
  EXPECT_EQ(PeekCounter(counter).value, 1000u);
  EXPECT_EQ(TakeSerial(counter, UINT64_MAX).value, 1000u);
  EXPECT_EQ(TakeSerial(counter, UINT64_MAX).value, 1001u);
  EXPECT_EQ(ReadText(counter), "1002\n");
  struct stat st {};
  ASSERT_EQ(::stat(counter.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);

  // Through a link the target advances and the link stays. A leftover of a
  // killed run where the new file is made, even a link, harms nothing.
  ASSERT_EQ(::symlink(counter.c_str(), dir.File("link").c_str()), 0);
  WriteText(dir.File("victim"), "keep");
  ASSERT_EQ(::symlink(dir.File("victim").c_str(),
                      dir.File(".counter.takt-m-new").c_str()),
            0);
  EXPECT_EQ(TakeSerial(dir.File("link"), UINT64_MAX).value, 1002u);
  EXPECT_EQ(ReadText(counter), "1003\n");
  ASSERT_EQ(::lstat(dir.File("link").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(ReadText(dir.File("victim")), "keep");
  EXPECT_FALSE(std::ifstream(dir.File(".counter.takt-m-new")).good());
}

// Whatever is not a counter is refused, and the file stays as it was.
TEST(SerialCounterTest, RefusesWhatIsNoCounter) {
  TempDir dir;
  const std::string counter = dir.File("counter");
  EXPECT_FALSE(PeekCounter(counter).value);  // missing: never made up
  EXPECT_NE(TakeSerial(counter, UINT64_MAX).error.find(counter),
            std::string::npos);
  EXPECT_FALSE(std::ifstream(counter).good());
  for (const char* text : {"", "abc\n", "-5\n", "12 13\n"}) {
    WriteText(counter, text);
    const CounterResult r = TakeSerial(counter, UINT64_MAX);
    EXPECT_FALSE(r.value) << text;
    EXPECT_NE(r.error.find("нет числа"), std::string::npos) << r.error;
    EXPECT_FALSE(PeekCounter(counter).value);
    EXPECT_EQ(ReadText(counter), text);
  }
  // A number the place cannot hold is not taken.
  WriteText(counter, "65536\n");
  EXPECT_FALSE(TakeSerial(counter, 0xFFFF).value);
  EXPECT_EQ(ReadText(counter), "65536\n");
  WriteText(counter, "18446744073709551615\n");
  EXPECT_NE(TakeSerial(counter, UINT64_MAX).error.find("исчерпан"),
            std::string::npos);
  // A folder or a pipe, refused without waiting for a writer.
  ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
  ASSERT_EQ(::mkdir(dir.File("folder").c_str(), 0700), 0);
  for (const char* name : {"fifo", "folder"}) {
    EXPECT_FALSE(PeekCounter(dir.File(name)).value) << name;
    EXPECT_FALSE(TakeSerial(dir.File(name), UINT64_MAX).value) << name;
  }
}

// The number's record goes first, under the lock: a record that cannot be
// written leaves the number in the counter for the next chip.
TEST(SerialCounterTest, TheRecordComesBeforeTheNumberMoves) {
  TempDir dir;
  const std::string counter = dir.File("counter");
  WriteText(counter, "7\n");
  uint64_t recorded = 0;
  CounterResult r = TakeSerial(counter, UINT64_MAX, [&](uint64_t n) {
    recorded = n;
    EXPECT_EQ(ReadText(counter), "7\n");  // not moved yet
    return std::string("Журнал полон");
  });
  EXPECT_FALSE(r.value);
  EXPECT_EQ(r.error, "Журнал полон");
  EXPECT_EQ(recorded, 7u);
  EXPECT_EQ(ReadText(counter), "7\n");
  r = TakeSerial(counter, UINT64_MAX, [](uint64_t) { return std::string(); });
  EXPECT_EQ(r.value, 7u);
  EXPECT_EQ(ReadText(counter), "8\n");
}

// A lock held for long (another program, a stuck run) ends the take with a
// message within seconds instead of stalling every port.
TEST(SerialCounterTest, ALockHeldForLongIsAnErrorNotAHang) {
  TempDir dir;
  const std::string counter = dir.File("counter");
  WriteText(counter, "9\n");
  const int holder = ::open(counter.c_str(), O_RDONLY);
  ASSERT_GE(holder, 0);
  const int locked = ::flock(holder, LOCK_EX);
  ASSERT_EQ(locked, 0);
  const auto start = std::chrono::steady_clock::now();
  const CounterResult r = TakeSerial(counter, UINT64_MAX);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_FALSE(r.value);
  EXPECT_NE(r.error.find("занят другим процессом"), std::string::npos)
      << r.error;
  EXPECT_LT(waited, std::chrono::seconds(4));
  EXPECT_EQ(ReadText(counter), "9\n");
  ::close(holder);  // released: the next take goes through
  EXPECT_EQ(TakeSerial(counter, UINT64_MAX).value, 9u);
}

TEST(SerialCounterTest, ConcurrentTakersNeverShareANumber) {
  TempDir dir;
  const std::string counter = dir.File("counter");
  WriteText(counter, "7\n");
  constexpr int kTakers = 4;
  constexpr int kEach = 60;
  std::vector<pid_t> pids;
  std::vector<int> fds(kTakers);
  for (int i = 0; i < kTakers; ++i) {
    pids.push_back(StartTaker([&] { return TakeSerial(counter, UINT64_MAX); },
                              kEach, &fds[static_cast<size_t>(i)]));
    ASSERT_GT(pids.back(), 0);
  }
  const Collected collected = CollectNumbers(pids, fds);
  EXPECT_TRUE(collected.all_exited_zero);
  const std::multiset<uint64_t>& all = collected.numbers;
  ASSERT_EQ(all.size(), size_t{kTakers * kEach});
  EXPECT_EQ(std::set<uint64_t>(all.begin(), all.end()).size(), all.size());
  EXPECT_EQ(*all.begin(), 7u);
  EXPECT_EQ(*all.rbegin(), 7u + kTakers * kEach - 1);
  EXPECT_EQ(ReadText(counter), std::to_string(7 + kTakers * kEach) + "\n");
}

// A taker killed at random moments, over and over (also while the new value
// is being written and renamed): the file always holds a number above every
// number handed out, and no number is handed out twice.
TEST(SerialCounterTest, AKillAtAnyMomentNeverGivesANumberTwice) {
  TempDir dir;
  const std::string counter = dir.File("counter");
  WriteText(counter, "100\n");
  std::mt19937 random(16);
  std::set<uint64_t> given;
  for (int round = 0; round < 40; ++round) {
    int fd = -1;
    const pid_t pid =
        StartTaker([&] { return TakeSerial(counter, UINT64_MAX); }, -1, &fd);
    ASSERT_GT(pid, 0);
    // The kill lands while numbers are being taken, however slowly a loaded
    // machine starts the child: its first number is waited for.
    uint64_t first = 0;
    ASSERT_EQ(::read(fd, &first, sizeof first), ssize_t{sizeof first});
    EXPECT_TRUE(given.insert(first).second)
        << "number " << first << " given twice";
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    for (uint64_t v : ReadNumbers(fd)) {
      EXPECT_TRUE(given.insert(v).second) << "number " << v << " given twice";
    }
    ::close(fd);
    const CounterResult next = PeekCounter(counter);
    ASSERT_TRUE(next.value) << "round " << round << ": " << next.error;
    if (!given.empty()) {
      EXPECT_GT(*next.value, *given.rbegin());
    }
  }
  EXPECT_GE(given.size(), 40u);  // a number from every round at least
}

TEST(ProductionLogTest, LinesOfSeveralWritersNeverInterleave) {
  TempDir dir;
  const std::string path = dir.File("log.jsonl");
  constexpr int kWriters = 4;
  constexpr int kLines = 250;
  std::vector<pid_t> pids;
  for (int w = 0; w < kWriters; ++w) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      ProductionLog log;
      if (!log.Open(path).empty()) ::_exit(1);
      std::mt19937 random(static_cast<unsigned>(w));
      for (int i = 0; i < kLines; ++i) {
        const std::string line =
            "{\"w\":" + std::to_string(w) + ",\"i\":" + std::to_string(i) +
            ",\"pad\":\"" + std::string(random() % 3000, 'a' + w) + "\"}\n";
        if (!log.Append(line).empty()) ::_exit(2);
      }
      ::_exit(0);
    }
    pids.push_back(pid);
  }
  for (pid_t pid : pids) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const std::vector<std::string> lines = ReadLines(path);
  ASSERT_EQ(lines.size(), size_t{kWriters * kLines});
  std::vector<int> next(kWriters, 0);
  for (const std::string& line : lines) {
    int w = -1, i = -1;
    ASSERT_EQ(std::sscanf(line.c_str(), "{\"w\":%d,\"i\":%d,", &w, &i), 2)
        << line.substr(0, 80);
    ASSERT_TRUE(w >= 0 && w < kWriters);
    EXPECT_EQ(i, next[static_cast<size_t>(w)]++);  // each writer in order
    const size_t pad = line.find("\"pad\":\"") + 7;
    EXPECT_EQ(line.find_first_not_of(static_cast<char>('a' + w), pad),
              line.size() - 2);
    EXPECT_EQ(line.substr(line.size() - 2), "\"}");
  }
}

TEST(ProductionLogTest, OpensOnlyRegularFilesAndAppends) {
  TempDir dir;
  ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
  ASSERT_EQ(::mkdir(dir.File("folder").c_str(), 0700), 0);
  for (const char* name : {"fifo", "folder", "no/such/folder/log"}) {
    ProductionLog log;
    const std::string error = log.Open(dir.File(name));  // never blocks
    EXPECT_NE(error.find(dir.File(name)), std::string::npos) << name;
    EXPECT_FALSE(log.is_open());
  }
  WriteText(dir.File("log"), "{\"old\":1}\n");
  {
    ProductionLog log;
    ASSERT_EQ(log.Open(dir.File("log")), "");
    EXPECT_EQ(log.Append("{\"new\":2}\n"), "");
  }
  EXPECT_EQ(ReadText(dir.File("log")), "{\"old\":1}\n{\"new\":2}\n");
}

// A log on a full disk (a file size limit in a child): a line that does
// not fit is reported and leaves nothing behind, so the next good line
// starts a line of its own; the lines before it stay whole.
TEST(ProductionLogTest, ALineThatDoesNotFitLeavesNothing) {
  TempDir dir;
  const std::string path = dir.File("log.jsonl");
  const std::string old = "{\"chip\":1}\n";
  WriteText(path, old);
  const std::string line =
      "{\"chip\":\"DEMO-8K\",\"pad\":\"" + std::string(200, 'x') + "\"}\n";
  const std::optional<std::string> full =
      RunInChild({false, static_cast<long>(old.size() + 50)}, [&] {
        ProductionLog log;
        if (!log.Open(path).empty()) return std::string("no open");
        return log.Append(line);
      });
  ASSERT_TRUE(full.has_value()) << "no file size limit here";
  EXPECT_NE(full->find("Не удалось записать журнал"), std::string::npos)
      << *full;
  EXPECT_EQ(ReadText(path), old);
  ProductionLog log;
  ASSERT_EQ(log.Open(path), "");
  EXPECT_EQ(log.Append(line), "");
  EXPECT_EQ(ReadText(path), old + line);
}

}  // namespace
}  // namespace taktm::testing
