// Child processes that take serial numbers from a shared source at the same
// time, as several runs on one machine do, and report each number through a
// pipe the moment they have it; for the tests of the never-twice guarantee.
#ifndef TAKT_TESTS_CLI_TAKER_PROCESS_H_
#define TAKT_TESTS_CLI_TAKER_PROCESS_H_

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cli/serial_counter.h"

namespace taktm::testing {

// A child that calls `take` `count` times (forever for -1), writing each
// number to the pipe whose read end goes to `read_end`, with `pause` after
// each as a run writing its chip would. A failed take ends it: exit 0 when
// `used_up` says the source has no more, else 1 with the reason on stderr.
inline pid_t StartTaker(
    const std::function<CounterResult()>& take, int count, int* read_end,
    std::chrono::milliseconds pause = {},
    const std::function<bool(const std::string&)>& used_up = nullptr) {
  int p[2];
  if (::pipe(p) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(p[0]);
    for (int i = 0; count < 0 || i < count; ++i) {
      const CounterResult r = take();
      if (!r.value) {
        if (used_up && used_up(r.error)) ::_exit(0);
        std::fprintf(stderr, "%s\n", r.error.c_str());
        ::_exit(1);
      }
      const uint64_t v = *r.value;
      if (::write(p[1], &v, sizeof v) != sizeof v) ::_exit(2);
      if (pause.count() > 0) std::this_thread::sleep_for(pause);
    }
    ::_exit(0);
  }
  ::close(p[1]);
  *read_end = p[0];
  return pid;
}

// The numbers a taker reported, to the pipe's end; whole ones only (a kill
// may cut the last one short).
inline std::vector<uint64_t> ReadNumbers(int fd) {
  std::string pending;
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) > 0) {
    pending.append(buffer, static_cast<size_t>(n));
  }
  std::vector<uint64_t> numbers(pending.size() / sizeof(uint64_t));
  if (!numbers.empty()) {  // a taker killed before its first number
    std::memcpy(numbers.data(), pending.data(),
                numbers.size() * sizeof(uint64_t));
  }
  return numbers;
}

// Every number the takers reported (their pipes read to the end and
// closed), and whether each of them exited 0.
struct Collected {
  std::multiset<uint64_t> numbers;
  bool all_exited_zero = true;
};
inline Collected CollectNumbers(const std::vector<pid_t>& pids,
                                const std::vector<int>& fds) {
  Collected c;
  for (int fd : fds) {
    for (uint64_t v : ReadNumbers(fd)) c.numbers.insert(v);
    ::close(fd);
  }
  for (pid_t pid : pids) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      c.all_exited_zero = false;
    }
  }
  return c;
}

}  // namespace taktm::testing

#endif  // TAKT_TESTS_CLI_TAKER_PROCESS_H_
