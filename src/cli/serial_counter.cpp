#include "cli/serial_counter.h"

#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <string_view>
#include <system_error>

#include "buffer/system_reason.h"
#include "cli/durable_file.h"
#include "cli/serial_stamp.h"

namespace taktm {
namespace {

constexpr std::chrono::milliseconds kLockWait(2000);

std::string Reason(int error) {
  return SystemReason(std::error_code(error, std::generic_category()));
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  void Reset(int fd = -1) {
    if (fd_ >= 0) CloseDurable(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

CounterResult Fail(std::string error) {
  CounterResult r;
  r.error = std::move(error);
  return r;
}

// The file the name leads to, links followed: the new value replaces it,
// not a link to it.
// Reads the whole (small) file from the start.
std::optional<std::string> ReadAll(int fd, int* error) {
  std::string text;
  char buffer[256];
  for (;;) {
    const int64_t n = ReadAt(fd, buffer, sizeof buffer, text.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      *error = errno;
      return std::nullopt;
    }
    if (n == 0) return text;
    text.append(buffer, static_cast<size_t>(n));
    if (text.size() > 4096) return text;  // no counter is that long
  }
}

std::optional<uint64_t> ReadValue(int fd, const std::string& path,
                                  std::string* error) {
  int e = 0;
  const std::optional<std::string> text = ReadAll(fd, &e);
  if (!text) {
    *error = "Файл счётчика " + Quoted(path) + " не читается: " + Reason(e);
    return std::nullopt;
  }
  const std::optional<uint64_t> value = ParseCounterText(*text);
  if (!value) {
    *error = "В файле счётчика " + Quoted(path) +
             " нет числа (нужен следующий номер десятичными цифрами, "
             "например: echo 1000 > " +
             path + ")";
  }
  return value;
}

// Opens the counter and locks it exclusively. The lock belongs to the file
// the name stands for: a run that replaced it meanwhile leaves the one
// opened here stale, so it is opened again.
bool OpenLocked(const std::string& real, Fd& fd, struct stat& st,
                std::string* error) {
  for (;;) {
    fd.Reset(OpenDurable(real, O_RDONLY));
    if (fd.get() < 0) {
      *error =
          "Файл счётчика " + Quoted(real) + " не открывается: " + Reason(errno);
      return false;
    }
    if (const int locked = LockExclusiveWithin(fd.get(), kLockWait)) {
      *error = "Файл счётчика " + Quoted(real) +
               (locked == EWOULDBLOCK
                    ? " занят другим процессом дольше " +
                          std::to_string(kLockWait.count() / 1000) + " с"
                    : " не блокируется: " + Reason(locked));
      return false;
    }
    if (::fstat(fd.get(), &st) != 0) {
      *error = "Файл счётчика " + Quoted(real) + ": " + Reason(errno);
      return false;
    }
    if (!S_ISREG(st.st_mode)) {
      *error = "Файл счётчика " + Quoted(real) + " — не обычный файл";
      return false;
    }
    if (IsSameFile(fd.get(), real)) return true;
  }
}

}  // namespace

CounterResult PeekCounter(const std::string& path) {
  int e = 0;
  const std::optional<std::string> real = ResolvedPath(path, &e);
  if (!real) {
    return Fail("Файл счётчика " + Quoted(path) +
                " не открывается: " + Reason(e));
  }
  Fd fd(OpenDurable(*real, O_RDONLY));
  struct stat st {};
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) {
    return Fail("Файл счётчика " + Quoted(path) +
                " не открывается: " + Reason(errno));
  }
  if (!S_ISREG(st.st_mode)) {
    return Fail("Файл счётчика " + Quoted(path) + " — не обычный файл");
  }
  CounterResult r;
  r.value = ReadValue(fd.get(), path, &r.error);
  const int writable = r.value ? FolderWritable(FolderOf(*real)) : 0;
  if (writable != 0) {
    r.value.reset();
    r.error = "Файл счётчика " + Quoted(path) + " нельзя обновить: в папку " +
              Quoted(FolderOf(*real)) + " нельзя писать (" + Reason(writable) +
              ")";
  }
  return r;
}

CounterResult TakeSerial(const std::string& path, uint64_t max_value,
                         const BeforeTake& before, uint64_t step) {
  int e = 0;
  const std::optional<std::string> real = ResolvedPath(path, &e);
  if (!real) {
    return Fail("Файл счётчика " + Quoted(path) +
                " не открывается: " + Reason(e));
  }
  Fd lock;
  struct stat st {};
  std::string error;
  if (!OpenLocked(*real, lock, st, &error)) return Fail(error);
  const std::optional<uint64_t> value = ReadValue(lock.get(), path, &error);
  if (!value) return Fail(error);
  if (*value > max_value) {
    return Fail("Номер " + std::to_string(*value) + " из " + Quoted(path) +
                " не помещается в место номера");
  }
  if (step == 0 || *value > UINT64_MAX - step) {
    return Fail("Счётчик " + Quoted(path) + " исчерпан");
  }
  if (before) {
    if (std::string refused = before(*value); !refused.empty()) {
      return Fail(std::move(refused));
    }
  }
  // The next value in a new file beside the old one. Only the holder of
  // the lock writes this name, so one left by a killed run is removed.
  const std::string folder = FolderOf(*real);
  const std::string temp =
      folder + "/." + real->substr(real->rfind('/') + 1) + ".takt-m-new";
  auto fail_write = [&](int why) {
    RemoveFile(temp);
    return Fail("Не удалось обновить файл счётчика " + Quoted(path) + ": " +
                Reason(why));
  };
  RemoveFile(temp);
  // O_EXCL: a link planted under the name is not followed.
  Fd out(OpenDurable(temp, O_WRONLY | O_CREAT | O_EXCL, st.st_mode & 07777));
  if (out.get() < 0) return fail_write(errno);
#ifndef _WIN32
  // Same mode, and the same owner and group where the system allows it.
  ::fchmod(out.get(), st.st_mode & 07777);
  [[maybe_unused]] const int owned = ::fchown(out.get(), st.st_uid, st.st_gid);
#endif
  const std::string text = std::to_string(*value + step) + "\n";
  size_t written = 0;
  while (written < text.size()) {
    const ssize_t n =
        ::write(out.get(), text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return fail_write(n < 0 ? errno : EIO);
    written += static_cast<size_t>(n);
  }
  if (const int e = SyncFile(out.get())) return fail_write(e);
  out.Reset();
  if (const int e = MoveOver(temp, *real)) return fail_write(e);
  // The rename itself must survive a power cut before the number is used:
  // from here on the number is taken, whatever happens to the chip.
  if (const int e = SyncFolder(folder)) {
    return Fail("Не удалось сохранить файл счётчика " + Quoted(path) + ": " +
                Reason(e));
  }
  CounterResult r;
  r.value = value;
  return r;
}

}  // namespace taktm
