// Runs takt-m-devsim as a child process for a test: reads the port name from
// its first line of output (bounded wait) and stops it at the end.
#ifndef TAKT_TESTS_HARNESS_DEVSIM_PROCESS_H_
#define TAKT_TESTS_HARNESS_DEVSIM_PROCESS_H_

// Tests that drive the port themselves (poll, read, write) get the POSIX
// headers with it.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "harness/temp_dir.h"

namespace taktm::testing {

class DevsimProcess {
 public:
  explicit DevsimProcess(const std::vector<std::string>& args);
  ~DevsimProcess();
  DevsimProcess(const DevsimProcess&) = delete;
  DevsimProcess& operator=(const DevsimProcess&) = delete;

  // The name of the port to open; empty when the emulator did not start.
  const std::string& port() const { return port_; }
  pid_t pid() const { return pid_; }

  // Sends `sig` and waits (bounded) for the exit; returns the exit status,
  // or -1 when it had to be killed.
  int Stop(int sig);

  // Waits at most `timeout` for the process to exit by itself; returns its
  // exit status, or -2 while it still runs.
  int WaitExit(std::chrono::milliseconds timeout);

 private:
  std::string ReadLine(std::chrono::milliseconds timeout);

  pid_t pid_ = -1;
  int stdout_ = -1;
  int exit_status_ = -1;
  std::string port_;
};

// Opens the emulator's port as the program would: raw, 8 data bits.
int OpenRawPort(const std::string& name);

}  // namespace taktm::testing

#endif  // TAKT_TESTS_HARNESS_DEVSIM_PROCESS_H_
