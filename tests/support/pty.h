// A pseudo-terminal whose slave end the program opens as its serial port;
// the test plays the device on the master end.
#ifndef TAKT_TESTS_SUPPORT_PTY_H_
#define TAKT_TESTS_SUPPORT_PTY_H_

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace taktm::testing {

class Pty {
 public:
  Pty() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0) {
      slave_name_ = ::ptsname(master_);
    }
  }
  ~Pty() { Close(); }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  bool ok() const { return master_ >= 0 && !slave_name_.empty(); }

  // Raw line settings before the program opens its end: a device that
  // writes first would otherwise read its own bytes back as echo. Writes
  // no longer block: once the program is gone and the line's buffer is
  // full, they fail instead of hanging the device's thread.
  bool MakeRaw() {
    termios t{};
    if (::tcgetattr(master_, &t) != 0) return false;
    ::cfmakeraw(&t);
    return ::tcsetattr(master_, TCSANOW, &t) == 0 &&
           ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK) ==
               0;
  }
  const std::string& slave_name() const { return slave_name_; }

  bool Write(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
      if (n <= 0) return false;
      done += static_cast<size_t>(n);
    }
    return true;
  }

  // Reads what the program wrote, waiting at most `timeout` for `want` bytes.
  std::vector<uint8_t> Read(size_t want, std::chrono::milliseconds timeout) {
    std::vector<uint8_t> out;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (out.size() < want) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      uint8_t buf[4096];
      ssize_t n = ::read(master_, buf, sizeof buf);
      if (n <= 0) break;
      out.insert(out.end(), buf, buf + n);
    }
    return out;
  }

  void Close() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

 private:
  int master_ = -1;
  std::string slave_name_;
};

}  // namespace taktm::testing

#endif  // TAKT_TESTS_SUPPORT_PTY_H_
