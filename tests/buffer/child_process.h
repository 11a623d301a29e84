// Runs a piece of a test in a child process that is set apart first: as an
// unprivileged user (file permissions do not bind root, which the machine
// may run tests as), or under a file size limit that makes writes fail as
// on a full disk. The child hands back one line of text.
#ifndef TAKT_TESTS_BUFFER_CHILD_PROCESS_H_
#define TAKT_TESTS_BUFFER_CHILD_PROCESS_H_

#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <optional>
#include <string>

namespace taktm::testing {

inline constexpr uid_t kNobody = 65534;

struct ChildSetup {
  bool unprivileged = false;  // as nobody when the test runs as root
  long file_size_limit = -1;  // RLIMIT_FSIZE in bytes, SIGXFSZ ignored
};

// The text `op` returned in the child, or nothing when the child could not
// be set apart (no fork, the user or limit refused). A child that ended
// otherwise gives a text saying so, which no test expects.
inline std::optional<std::string> RunInChild(
    const ChildSetup& setup, const std::function<std::string()>& op) {
  int out[2];
  if (::pipe(out) != 0) return std::nullopt;
  const pid_t pid = ::fork();
  if (pid < 0) return std::nullopt;
  if (pid == 0) {
    ::close(out[0]);
    if (setup.unprivileged && ::geteuid() == 0) {
      if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 ||
          ::setuid(kNobody) != 0 || ::geteuid() != kNobody) {
        ::_exit(3);
      }
    }
    if (setup.file_size_limit >= 0) {
      ::signal(SIGXFSZ, SIG_IGN);
      rlimit limit{};
      ::getrlimit(RLIMIT_FSIZE, &limit);
      limit.rlim_cur = static_cast<rlim_t>(setup.file_size_limit);
      if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(3);
    }
    const std::string text = op();
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
      const ssize_t n = ::write(out[1], p, left);
      if (n <= 0) break;
      p += n;
      left -= static_cast<size_t>(n);
    }
    ::_exit(0);
  }
  ::close(out[1]);
  std::string text;
  char buffer[512];
  ssize_t n;
  while ((n = ::read(out[0], buffer, sizeof buffer)) > 0) {
    text.append(buffer, static_cast<size_t>(n));
  }
  ::close(out[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 3) return std::nullopt;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return "child ended with status " + std::to_string(status);
  }
  return text;
}

}  // namespace taktm::testing

#endif  // TAKT_TESTS_BUFFER_CHILD_PROCESS_H_
