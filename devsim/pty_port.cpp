#include "pty_port.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace taktm::devsim {
namespace {

std::string Why(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

// cfmakeraw by hand (it is not POSIX): 8 data bits, no echo, no line
// editing, no translation of CR/LF, no signals.
bool MakeRaw(int fd) {
  termios t{};
  if (::tcgetattr(fd, &t) != 0) return false;
  t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                 IXON | IXOFF);
  t.c_oflag &= ~OPOST;
  t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~(CSIZE | PARENB | CSTOPB);
  t.c_cflag |= CS8 | CREAD | CLOCAL;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  return ::tcsetattr(fd, TCSANOW, &t) == 0;
}

}  // namespace

PtyPort::~PtyPort() {
  RemoveLink();
  Close();
}

bool PtyPort::Open(std::string& error) {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master_ < 0) {
    error = Why("posix_openpt");
    return false;
  }
  ::fcntl(master_, F_SETFD, FD_CLOEXEC);
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
    error = Why("grantpt/unlockpt");
    return false;
  }
  const char* name = ::ptsname(master_);
  if (name == nullptr) {
    error = Why("ptsname");
    return false;
  }
  name_ = name;
  // The line settings live as long as the master is open; setting them now
  // keeps the line from echoing acknowledgements back before the program
  // opens the port.
  const int slave = ::open(name_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) {
    error = Why("open " + name_);
    return false;
  }
  const bool raw = MakeRaw(slave);
  ::close(slave);
  if (!raw) {
    error = Why("tcsetattr " + name_);
    return false;
  }
  return true;
}

bool PtyPort::MakeLink(const std::string& path, std::string& error) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0) {
    if (!S_ISLNK(st.st_mode)) {
      error = path + " exists and is not a symbolic link";
      return false;
    }
    ::unlink(path.c_str());
  }
  if (::symlink(name_.c_str(), path.c_str()) != 0) {
    error = Why("symlink " + path);
    return false;
  }
  link_ = path;
  return true;
}

void PtyPort::RemoveLink() {
  if (link_.empty()) return;
  std::vector<char> target(name_.size() + 2);
  const ssize_t n = ::readlink(link_.c_str(), target.data(), target.size());
  if (n >= 0 && std::string(target.data(), static_cast<size_t>(n)) == name_) {
    ::unlink(link_.c_str());
  }
  link_.clear();
}

void PtyPort::Close() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}

}  // namespace taktm::devsim
