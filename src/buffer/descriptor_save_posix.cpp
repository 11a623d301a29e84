#include "buffer/descriptor_save_posix.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace taktm {
namespace {

std::error_code LastError() { return {errno, std::generic_category()}; }

// The descriptor number `link` names when it is one of this process's
// (/proc/<own pid>/fd/N, also as /proc/self, /proc/thread-self or /dev/fd),
// else -1.
int OwnDescriptor(const std::string& link) {
  const size_t slash = link.rfind('/');
  if (slash == std::string::npos || slash + 1 >= link.size()) return -1;
  const std::string number = link.substr(slash + 1);
  if (number.find_first_not_of("0123456789") != std::string::npos ||
      number.size() > 9) {
    return -1;
  }
  char* real = ::realpath(link.substr(0, slash).c_str(), nullptr);
  if (real == nullptr) return -1;
  const std::string folder(real);
  ::free(real);
  const std::string own = "/proc/" + std::to_string(::getpid()) + "/";
  if (folder.rfind(own, 0) != 0 || folder.size() < 3 ||
      folder.compare(folder.size() - 3, 3, "/fd") != 0) {
    return -1;
  }
  return std::stoi(number);
}

// Writes at the descriptor's position; when that was the end of the file,
// a failure leaves the file as long as it was.
std::error_code WriteStreamToFile(int fd, const uint8_t* data, size_t size) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return LastError();
  const int flags = ::fcntl(fd, F_GETFL);
  const off_t start = (flags >= 0 && (flags & O_APPEND) != 0)
                          ? st.st_size
                          : ::lseek(fd, 0, SEEK_CUR);
  const bool at_end = start >= st.st_size;
  auto fail = [&](std::error_code error) {
    if (at_end && ::ftruncate(fd, st.st_size) == 0) {
      ::lseek(fd, start, SEEK_SET);
    }
    return error;
  };
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return fail(LastError());
    if (n == 0) return fail({ENOSPC, std::generic_category()});
    done += static_cast<size_t>(n);
  }
  if (::fsync(fd) != 0) return LastError();
  return {};
}

}  // namespace

std::optional<std::error_code> SaveToDescriptorFile(const std::string& link,
                                                    const uint8_t* data,
                                                    size_t size) {
  struct stat reached {};
  if (::stat(link.c_str(), &reached) != 0 || !S_ISREG(reached.st_mode)) {
    return std::nullopt;
  }
  const int own = OwnDescriptor(link);
  struct stat st {};
  if (own >= 0 && ::fstat(own, &st) == 0 && st.st_dev == reached.st_dev &&
      st.st_ino == reached.st_ino) {
    const int flags = ::fcntl(own, F_GETFL);
    if (flags >= 0 && (flags & O_ACCMODE) != O_RDONLY) {
      return WriteStreamToFile(own, data, size);
    }
  }
  // Another process's descriptor (or one open only for reading): its
  // position is not ours to take, so the bytes go after what is there.
  const int fd = ::open(
      link.c_str(), O_WRONLY | O_APPEND | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return LastError();
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  std::error_code error = WriteStreamToFile(fd, data, size);
  if (::close(fd) != 0 && !error) error = LastError();
  return error;
}

}  // namespace taktm
