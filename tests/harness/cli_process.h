// Runs the takt-m-cli binary as a child process for the end-to-end tests:
// arguments, an environment that points the settings store at a temporary
// folder, captured standard output and error, the exit status, and a bound
// on the time it may take.
#ifndef TAKT_TESTS_HARNESS_CLI_PROCESS_H_
#define TAKT_TESTS_HARNESS_CLI_PROCESS_H_

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace taktm::testing {

struct CliResult {
  int status = -1;  // exit status; -1 when killed or not started
  std::string out;
  std::string err;
};

// A user and group the child runs as (the caller must be root).
struct RunAs {
  uid_t uid;
  gid_t gid;
};

// The binary's arguments and environment, `config_home` as XDG_CONFIG_HOME
// (the store lives in config_home/ZARVENTIK/TAKT-M.conf). Everything the
// child needs is built before the fork: a test may run other threads, and
// the child must not allocate before exec.
struct ExecArgs {
  ExecArgs(const std::vector<std::string>& args, const std::string& config_home)
      : words(args), config("XDG_CONFIG_HOME=" + config_home) {
    argv.push_back(program.data());
    for (std::string& a : words) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (char** e = environ; *e != nullptr; ++e) {
      if (std::string(*e).rfind("XDG_CONFIG_HOME=", 0) != 0) envp.push_back(*e);
    }
    envp.push_back(config.data());
    envp.push_back(nullptr);
  }
  ExecArgs(const ExecArgs&) = delete;  // argv points into the strings
  ExecArgs& operator=(const ExecArgs&) = delete;
  std::string program = TAKT_CLI_PATH;
  std::vector<std::string> words;
  std::string config;
  std::vector<char*> argv;
  std::vector<char*> envp;
};

inline CliResult RunCliProcess(const std::vector<std::string>& args,
                               const std::string& config_home,
                               int timeout_ms = 120000,
                               std::optional<RunAs> run_as = std::nullopt) {
  CliResult result;
  ExecArgs exec(args, config_home);
  int out[2], err[2];
  if (::pipe(out) != 0 || ::pipe(err) != 0) return result;
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (run_as && (::setgroups(0, nullptr) != 0 || ::setgid(run_as->gid) != 0 ||
                   ::setuid(run_as->uid) != 0)) {
      ::_exit(126);
    }
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(err[1], STDERR_FILENO);
    for (int fd : {out[0], out[1], err[0], err[1]}) ::close(fd);
    ::execve(exec.argv[0], exec.argv.data(), exec.envp.data());
    ::_exit(127);
  }
  ::close(out[1]);
  ::close(err[1]);
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open_pipes = 2;
  bool killed = false;
  while (open_pipes > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) {
      ::kill(pid, SIGKILL);
      killed = true;
      break;
    }
    if (::poll(fds, 2, static_cast<int>(left)) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(n));
      } else {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open_pipes;
      }
    }
  }
  for (const pollfd& p : fds) {
    if (p.fd >= 0) ::close(p.fd);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!killed && WIFEXITED(status)) result.status = WEXITSTATUS(status);
  return result;
}

// takt-m-cli started without waiting, with the stop signals at their
// defaults (a shell's background job would ignore SIGINT); its standard
// output and error go to `output` + ".out" / ".err" (files, not pipes: the
// children of several such starts would hold each other's). With
// `file_size_limit`, files cannot grow past it (RLIMIT_FSIZE), as on a full
// disk.
inline pid_t StartCli(const std::vector<std::string>& args,
                      const std::string& config_home, const std::string& output,
                      long file_size_limit = -1) {
  ExecArgs exec(args, config_home);
  const std::string out = output + ".out";
  const std::string err = output + ".err";
  const pid_t pid = ::fork();
  if (pid == 0) {
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGXFSZ}) ::signal(sig, SIG_DFL);
    if (file_size_limit >= 0) {
      rlimit limit{};
      ::getrlimit(RLIMIT_FSIZE, &limit);
      limit.rlim_cur = static_cast<rlim_t>(file_size_limit);
      if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(125);
    }
    const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (o < 0 || e < 0) ::_exit(126);
    ::dup2(o, STDOUT_FILENO);
    ::dup2(e, STDERR_FILENO);
    ::execve(exec.argv[0], exec.argv.data(), exec.envp.data());
    ::_exit(127);
  }
  return pid;
}

// The child's wait status, or nothing when it had to be killed after
// `timeout_ms`.
inline std::optional<int> WaitStatus(pid_t pid, int timeout_ms) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) return status;
    if (std::chrono::steady_clock::now() >= deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
      return std::nullopt;
    }
    ::usleep(2000);
  }
}

// The exit status, 128 + the signal for a process a signal ended, -1 when
// it had to be killed after `timeout_ms`.
inline int WaitExit(pid_t pid, int timeout_ms) {
  const std::optional<int> status = WaitStatus(pid, timeout_ms);
  if (!status) return -1;
  if (WIFEXITED(*status)) return WEXITSTATUS(*status);
  return WIFSIGNALED(*status) ? 128 + WTERMSIG(*status) : -1;
}

// takt-m-cli started in the background, for tests that stop it from
// outside, and ended with the test at the latest.
class CliChild {
 public:
  CliChild(const std::vector<std::string>& args, const std::string& config_home,
           const std::string& output)
      : pid_(StartCli(args, config_home, output)) {}
  ~CliChild() { Kill(); }
  CliChild(const CliChild&) = delete;
  CliChild& operator=(const CliChild&) = delete;

  bool running() const { return pid_ > 0; }
  // SIGKILL, as a power cut or an operator's kill -9 would stop it.
  void Kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  // A stop request, as an operator's kill or Ctrl-C would send it.
  void Signal(int signal) {
    if (pid_ > 0) ::kill(pid_, signal);
  }
  // The exit status, or -1 when a signal ended it or it had to be killed
  // after `timeout_ms`: the program must end by its own exit.
  int Wait(int timeout_ms) {
    if (pid_ <= 0) return -1;
    const std::optional<int> status = WaitStatus(pid_, timeout_ms);
    pid_ = -1;
    return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
  }

 private:
  pid_t pid_ = -1;
};

}  // namespace taktm::testing

#endif  // TAKT_TESTS_HARNESS_CLI_PROCESS_H_
