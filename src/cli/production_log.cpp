#include "cli/production_log.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <system_error>

#include "buffer/system_reason.h"
#include "cli/durable_file.h"

namespace taktm {
namespace {

std::string Reason(int error) {
  return SystemReason(std::error_code(error, std::generic_category()));
}

// Takes the blocks for `size` bytes after `end` without changing the
// file's length, so that a full disk or a file size limit refuses the line
// before any of it is written. 0, or the error; file systems that cannot
// reserve give 0 and rely on the cut-back.
int ReserveSpace(int fd, off_t end, size_t size) {
#ifdef __linux__
  int r;
  do {
    r = ::fallocate(fd, FALLOC_FL_KEEP_SIZE, end, static_cast<off_t>(size));
  } while (r != 0 && errno == EINTR);
  if (r != 0 && errno != EOPNOTSUPP && errno != ENOSYS) return errno;
#else
  (void)fd;
  (void)end;
  (void)size;
#endif
  return 0;
}

}  // namespace

ProductionLog::~ProductionLog() {
  if (fd_ >= 0) CloseDurable(fd_);
}

std::string ProductionLog::Open(const std::string& path) {
  path_ = path;
  const std::string failed = "Журнал \"" + path + "\" не открывается: ";
  struct stat st {};
  const bool existed = ::stat(path.c_str(), &st) == 0;
  // Never block on a pipe without a reader, nor write into a device.
  if (existed && !S_ISREG(st.st_mode)) return failed + "это не обычный файл";
  fd_ = OpenDurable(path, O_WRONLY | O_APPEND | O_CREAT);
  if (fd_ < 0) return failed + Reason(errno);
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    CloseDurable(fd_);
    fd_ = -1;
    return failed + "это не обычный файл";
  }
  if (!existed) {
    // The new name must survive a power cut as the lines do.
    SyncFolder(FolderOf(path));
  }
  return {};
}

std::string ProductionLog::Append(const std::string& line) {
  const std::string failed = "Не удалось записать журнал \"" + path_ + "\": ";
  if (fd_ < 0) return failed + Reason(EBADF);
  // Other runs append to the same log: while this one holds the lock, the
  // end it found is its own to restore.
  // A line takes milliseconds; a program holding the lock for long must not
  // stall every port.
  if (const int e = LockExclusiveWithin(fd_, std::chrono::seconds(10))) {
    return failed + Reason(e);
  }
  struct Unlocker {
    int fd;
    ~Unlocker() { Unlock(fd); }
  } const unlock{fd_};
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return failed + Reason(errno);
  const off_t old_end = st.st_size;
  // A line is whole or absent: the space is taken before the write, and
  // where the file system cannot reserve it, a cut line is cut off again.
  if (const int e = ReserveSpace(fd_, old_end, line.size()); e != 0) {
    return failed + Reason(e);
  }
  auto undo = [&](int error) {
    while (::ftruncate(fd_, old_end) != 0 && errno == EINTR) {
    }
    return failed + Reason(error);
  };
  size_t done = 0;
  while (done < line.size()) {
    const ssize_t n = ::write(fd_, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return undo(errno);
    if (n == 0) return undo(ENOSPC);
    done += static_cast<size_t>(n);
  }
  if (const int e = SyncFile(fd_)) return undo(e);
  return {};
}

}  // namespace taktm
