#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "cli/durable_file.h"

namespace taktm {

int OpenDurable(const std::string& path, int flags, int mode) {
  return ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, mode);
}

int CloseDurable(int fd) { return ::close(fd); }

int TryLockExclusive(int fd) {
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

int Unlock(int fd) { return ::flock(fd, LOCK_UN) == 0 ? 0 : errno; }

int SyncFile(int fd) { return ::fsync(fd) == 0 ? 0 : errno; }

int SyncFolder(const std::string& folder) {
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return errno;
  const int result = ::fsync(dir) == 0 ? 0 : errno;
  ::close(dir);
  return result;
}

int MoveOver(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int RemoveFile(const std::string& path) {
  return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

int64_t ReadAt(int fd, char* buffer, size_t size, uint64_t offset) {
  return ::pread(fd, buffer, size, static_cast<off_t>(offset));
}

std::optional<std::string> ResolvedPath(const std::string& path, int* error) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) {
    *error = errno;
    return std::nullopt;
  }
  std::string real = resolved;
  std::free(resolved);
  return real;
}

bool IsSameFile(int fd, const std::string& path) {
  struct stat open_file {};
  struct stat named {};
  return ::fstat(fd, &open_file) == 0 && ::stat(path.c_str(), &named) == 0 &&
         open_file.st_dev == named.st_dev && open_file.st_ino == named.st_ino;
}

int FolderWritable(const std::string& folder) {
  return ::access(folder.c_str(), W_OK | X_OK) == 0 ? 0 : errno;
}

}  // namespace taktm
