#include "harness/devsim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <thread>

namespace taktm::testing {

DevsimProcess::DevsimProcess(const std::vector<std::string>& args) {
  int out[2];
  if (::pipe(out) != 0) return;
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::close(out[0]);
    ::close(out[1]);
    std::vector<char*> argv;
    std::string program = TAKT_DEVSIM_PATH;
    argv.push_back(program.data());
    std::vector<std::string> copy = args;
    for (std::string& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  stdout_ = out[0];
  port_ = ReadLine(std::chrono::seconds(10));
}

DevsimProcess::~DevsimProcess() {
  Stop(SIGTERM);
  if (stdout_ >= 0) ::close(stdout_);
}

int DevsimProcess::Stop(int sig) {
  if (pid_ <= 0) return exit_status_;
  ::kill(pid_, sig);
  const int status = WaitExit(std::chrono::seconds(5));
  if (status == -2) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
    return exit_status_ = -1;
  }
  return status;
}

int DevsimProcess::WaitExit(std::chrono::milliseconds timeout) {
  if (pid_ <= 0) return exit_status_;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      return exit_status_;
    }
    if (std::chrono::steady_clock::now() >= deadline) return -2;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

std::string DevsimProcess::ReadLine(std::chrono::milliseconds timeout) {
  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return {};
    pollfd p{stdout_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return {};
    char c;
    if (::read(stdout_, &c, 1) != 1) return {};
    if (c == '\n') return line;
    line.push_back(c);
  }
}

int OpenRawPort(const std::string& name) {
  const int fd = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return -1;
  termios t{};
  ::tcgetattr(fd, &t);
  ::cfmakeraw(&t);
  ::tcsetattr(fd, TCSANOW, &t);
  return fd;
}

}  // namespace taktm::testing
