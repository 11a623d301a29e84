#include "cli/production_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "buffer/system_reason.h"

namespace taktm {
namespace {

std::string Reason(int error) {
  return SystemReason(std::error_code(error, std::generic_category()));
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

ProductionLog::~ProductionLog() {
  if (fd_ >= 0) ::close(fd_);
}

std::string ProductionLog::Open(const std::string& path) {
  path_ = path;
  const std::string failed = "Журнал \"" + path + "\" не открывается: ";
  struct stat st {};
  const bool existed = ::stat(path.c_str(), &st) == 0;
  // Never block on a pipe without a reader, nor write into a device.
  if (existed && !S_ISREG(st.st_mode)) return failed + "это не обычный файл";
  fd_ = ::open(path.c_str(),
               O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd_ < 0) return failed + Reason(errno);
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd_);
    fd_ = -1;
    return failed + "это не обычный файл";
  }
  if (!existed) {
    // The new name must survive a power cut as the lines do.
    const int dir = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
      ::fsync(dir);
      ::close(dir);
    }
  }
  return {};
}

std::string ProductionLog::Append(const std::string& line) {
  const std::string failed = "Не удалось записать журнал \"" + path_ + "\": ";
  if (fd_ < 0) return failed + Reason(EBADF);
  ssize_t n;
  do {
    n = ::write(fd_, line.data(), line.size());
  } while (n < 0 && errno == EINTR);
  if (n < 0) return failed + Reason(errno);
  if (static_cast<size_t>(n) != line.size()) return failed + Reason(ENOSPC);
  if (::fsync(fd_) != 0) return failed + Reason(errno);
  return {};
}

}  // namespace taktm
