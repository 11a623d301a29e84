#include "cli/locked_record.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <system_error>

#include "buffer/system_reason.h"
#include "cli/durable_file.h"

namespace taktm {
namespace {

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

}  // namespace

void RecordFd::Reset(int fd) {
  if (fd_ >= 0) CloseDurable(fd_);
  fd_ = fd;
}

std::string RecordReason(int error) {
  return SystemReason(std::error_code(error, std::generic_category()));
}

bool OpenLockedRecord(const std::string& real, const std::string& noun,
                      RecordFd& fd, struct stat& st, std::string* error) {
  for (;;) {
    fd.Reset(OpenDurable(real, O_RDONLY));
    if (fd.get() < 0) {
      *error =
          noun + " " + Quoted(real) + " не открывается: " + RecordReason(errno);
      return false;
    }
    if (const int locked = LockExclusiveWithin(fd.get(), kRecordLockWait)) {
      *error = noun + " " + Quoted(real) +
               (locked == EWOULDBLOCK
                    ? " занят другим процессом дольше " +
                          std::to_string(kRecordLockWait.count() / 1000) + " с"
                    : " не блокируется: " + RecordReason(locked));
      return false;
    }
    if (::fstat(fd.get(), &st) != 0) {
      *error = noun + " " + Quoted(real) + ": " + RecordReason(errno);
      return false;
    }
    if (!S_ISREG(st.st_mode)) {
      *error = noun + " " + Quoted(real) + " — не обычный файл";
      return false;
    }
    if (IsSameFile(fd.get(), real)) return true;
  }
}

std::optional<std::string> OpenRecordToRead(const std::string& path,
                                            const std::string& noun,
                                            RecordFd& fd, std::string* error) {
  int e = 0;
  std::optional<std::string> real = ResolvedPath(path, &e);
  if (!real) {
    *error = noun + " " + Quoted(path) + " не открывается: " + RecordReason(e);
    return std::nullopt;
  }
  fd.Reset(OpenDurable(*real, O_RDONLY));
  struct stat st {};
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) {
    *error =
        noun + " " + Quoted(path) + " не открывается: " + RecordReason(errno);
    return std::nullopt;
  }
  if (!S_ISREG(st.st_mode)) {
    *error = noun + " " + Quoted(path) + " — не обычный файл";
    return std::nullopt;
  }
  return real;
}

std::optional<std::string> ReadRecord(int fd, size_t limit, int* error) {
  std::string text;
  char buffer[4096];
  for (;;) {
    const int64_t n = ReadAt(fd, buffer, sizeof buffer, text.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      *error = errno;
      return std::nullopt;
    }
    if (n == 0) return text;
    text.append(buffer, static_cast<size_t>(n));
    if (text.size() > limit) return text;
  }
}

int ReplaceRecord(const std::string& real, const std::string& text,
                  const struct stat& like, bool* renamed) {
  *renamed = false;
  // Only the holder of the lock writes this name, so one left by a killed
  // run is removed.
  const std::string folder = FolderOf(real);
  const std::string temp =
      folder + "/." + real.substr(real.rfind('/') + 1) + ".takt-m-new";
  auto fail = [&](int why) {
    RemoveFile(temp);
    return why;
  };
  RemoveFile(temp);
  // O_EXCL: a link planted under the name is not followed.
  RecordFd out(
      OpenDurable(temp, O_WRONLY | O_CREAT | O_EXCL, like.st_mode & 07777));
  if (out.get() < 0) return fail(errno);
#ifndef _WIN32
  // Same mode, and the same owner and group where the system allows it.
  ::fchmod(out.get(), like.st_mode & 07777);
  [[maybe_unused]] const int owned =
      ::fchown(out.get(), like.st_uid, like.st_gid);
#endif
  size_t written = 0;
  while (written < text.size()) {
    const ssize_t n =
        ::write(out.get(), text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return fail(n < 0 ? errno : EIO);
    written += static_cast<size_t>(n);
  }
  if (const int e = SyncFile(out.get())) return fail(e);
  out.Reset();
  if (const int e = MoveOver(temp, real)) return fail(e);
  *renamed = true;
  // The rename itself must survive a power cut before what it records is
  // used.
  return SyncFolder(folder);
}

}  // namespace taktm
