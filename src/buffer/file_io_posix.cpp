// The file layer on POSIX systems.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <string>

#include "buffer/descriptor_save_posix.h"
#include "buffer/file_io.h"
#include "buffer/system_reason.h"

namespace taktm {
namespace {

// As many links as the system itself follows before it gives up.
constexpr int kMaxLinkHops = 40;

std::error_code Errno(int e) { return {e, std::generic_category()}; }
std::error_code LastError() { return Errno(errno); }

// Closes the descriptor on every path out.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  // Closes now and reports the error, which a deferred write may surface.
  std::error_code Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0 ? std::error_code() : LastError();
  }

 private:
  int fd_;
};

// A write into a pipe whose reader has gone raises SIGPIPE, which would end
// the program; while this guard lives the write fails with EPIPE instead.
class SigpipeGuard {
 public:
  SigpipeGuard() {
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    was_pending_ = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
  }
  ~SigpipeGuard() {
    if (!was_pending_) {
      const timespec now{};
      while (sigtimedwait(&pipe_, nullptr, &now) > 0) {
      }
    }
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }
  SigpipeGuard(const SigpipeGuard&) = delete;
  SigpipeGuard& operator=(const SigpipeGuard&) = delete;

 private:
  sigset_t pipe_;
  sigset_t old_;
  bool was_pending_ = false;
};

std::string FolderOf(const std::string& name) {
  const size_t slash = name.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : name.substr(0, slash);
}

std::string BaseOf(const std::string& name) {
  const size_t slash = name.rfind('/');
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

std::error_code WriteAllAt(int fd, const uint8_t* data, size_t size,
                           off_t offset) {
  while (size > 0) {
    const ssize_t n = ::pwrite(fd, data, size, offset);
    if (n < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    if (n == 0) return Errno(ENOSPC);
    data += n;
    size -= static_cast<size_t>(n);
    offset += n;
  }
  return {};
}

// Bytes into a pipe or device. The descriptor stays non-blocking so that a
// reader that stops reading cannot hold the program for ever.
std::error_code WriteStream(int fd, const uint8_t* data, size_t size,
                            int stall_limit_ms) {
  SigpipeGuard guard;
  using Clock = std::chrono::steady_clock;
  Clock::time_point progress = Clock::now();
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      progress = Clock::now();
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return LastError();
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                            Clock::now() - progress)
                            .count();
    if (waited >= stall_limit_ms) return FileErrc::kStalled;
    pollfd p{fd, POLLOUT, 0};
    if (::poll(&p, 1, static_cast<int>(stall_limit_ms - waited)) < 0 &&
        errno != EINTR) {
      return LastError();
    }
  }
  return {};
}

// Overwrites an open regular file. The part beyond the old end goes first:
// when the disk is full or the size limit is reached, the file is cut back
// to its old length and keeps its old content. The rest is then written
// over blocks the file already owns, and the file is cut to the new length
// only after every byte is on the disk.
std::error_code WriteInPlace(int fd, const uint8_t* data, size_t size) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return LastError();
  const size_t old_size = static_cast<size_t>(st.st_size);
  if (size > old_size) {
    const off_t end = static_cast<off_t>(old_size);
    if (std::error_code e =
            WriteAllAt(fd, data + old_size, size - old_size, end)) {
      // Best effort: the write's own error is the one reported.
      [[maybe_unused]] const int cut = ::ftruncate(fd, end);
      return e;
    }
  }
  if (std::error_code e = WriteAllAt(fd, data, std::min(size, old_size), 0)) {
    return e;
  }
  if (::fsync(fd) != 0) return LastError();
  if (size < old_size) {
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0) return LastError();
    if (::fsync(fd) != 0) return LastError();
  }
  if (::fstat(fd, &st) != 0) return LastError();
  if (static_cast<size_t>(st.st_size) != size) return FileErrc::kIncomplete;
  return {};
}

// Writes into whatever `name` opens as a shell redirection would, without
// creating anything: a pipe, a device, or a regular file reached through a
// link the system makes.
std::error_code WriteThrough(const std::string& name, const uint8_t* data,
                             size_t size, int stall_limit_ms) {
  Descriptor fd(
      ::open(name.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) return LastError();  // ENXIO: a pipe nobody reads
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) return LastError();
  if (S_ISREG(st.st_mode)) return WriteInPlace(fd.get(), data, size);
  if (S_ISSOCK(st.st_mode)) return FileErrc::kNotRegularFile;
  if (std::error_code e = WriteStream(fd.get(), data, size, stall_limit_ms)) {
    return e;
  }
  return fd.Close();
}

// A new file beside `name`, flushed, then renamed over it. `old` is the file
// it replaces (its owner, group and mode are kept), or null for a new file.
// `in_place_instead` is set, with nothing changed, when the folder does not
// allow the new file or the new file cannot take the old one's owner and
// group.
std::error_code ReplaceAtomically(const std::string& name, const uint8_t* data,
                                  size_t size, const struct stat* old,
                                  bool* in_place_instead) {
  const std::string folder = FolderOf(name);
  const std::string stem = folder + "/." + BaseOf(name) + ".";
  static unsigned counter = 0;
  std::string temp;
  int raw_fd = -1;
  for (int attempt = 0; attempt < 100 && raw_fd < 0; ++attempt) {
    temp = stem + std::to_string(::getpid()) + "-" + std::to_string(++counter) +
           ".tmp";
    raw_fd =
        ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (raw_fd < 0 && errno != EEXIST) {
      if (errno == EACCES || errno == EPERM || errno == EROFS) {
        *in_place_instead = true;
      }
      return LastError();
    }
  }
  if (raw_fd < 0) return LastError();
  Descriptor fd(raw_fd);
  auto fail = [&temp](std::error_code error) {
    ::unlink(temp.c_str());
    return error;
  };
  if (old != nullptr) {
    struct stat made;
    if (::fstat(fd.get(), &made) != 0) return fail(LastError());
    if ((made.st_uid != old->st_uid || made.st_gid != old->st_gid) &&
        ::fchown(fd.get(), old->st_uid, old->st_gid) != 0) {
      *in_place_instead = true;
      return fail({});
    }
    (void)::fchmod(fd.get(), old->st_mode & 07777);
  }
  if (std::error_code e = WriteAllAt(fd.get(), data, size, 0)) return fail(e);
  if (::fsync(fd.get()) != 0) return fail(LastError());
  if (std::error_code e = fd.Close()) return fail(e);
  if (::rename(temp.c_str(), name.c_str()) != 0) return fail(LastError());
  // Make the rename itself durable; the new content is already in place.
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return {};
}

bool ReadLink(const std::string& link, std::string* target) {
  std::string buffer(256, '\0');
  for (;;) {
    const ssize_t n = ::readlink(link.c_str(), buffer.data(), buffer.size());
    if (n < 0) return false;
    if (static_cast<size_t>(n) < buffer.size()) {
      buffer.resize(static_cast<size_t>(n));
      *target = std::move(buffer);
      return true;
    }
    buffer.resize(buffer.size() * 2);
  }
}

// Links in /proc (and /dev/fd, which leads there) are made by the system for
// open files: they stand for a descriptor, not for a name to replace.
bool InsideProc(const std::string& link) {
  char* real = ::realpath(FolderOf(link).c_str(), nullptr);
  if (real == nullptr) return false;
  const std::string folder(real);
  ::free(real);
  return folder == "/proc" || folder.rfind("/proc/", 0) == 0;
}

struct Target {
  std::error_code error;
  std::string name;  // the name a save replaces or creates
  bool exists = false;
  struct stat st {};           // of `name`, when it exists
  bool write_through = false;  // write into what the path opens instead
};

// Follows the symbolic links of `path` by name, as far as they lead.
Target ResolveTarget(const std::string& path) {
  Target t;
  t.name = path;
  for (int hops = 0;; ++hops) {
    struct stat ls;
    if (::lstat(t.name.c_str(), &ls) != 0) {
      if (errno != ENOENT) {
        t.error = LastError();
        return t;
      }
      break;  // a new file, or the target of a dangling link
    }
    if (!S_ISLNK(ls.st_mode)) {
      t.exists = true;
      t.st = ls;
      break;
    }
    if (hops == kMaxLinkHops) {
      t.error = Errno(ELOOP);
      return t;
    }
    if (InsideProc(t.name)) {
      t.write_through = true;
      return t;
    }
    std::string target;
    if (!ReadLink(t.name, &target)) {
      t.error = LastError();
      return t;
    }
    t.name = !target.empty() && target[0] == '/'
                 ? target
                 : FolderOf(t.name) + "/" + target;
  }
  // The name found must be what the path reaches; a link that names no
  // file of its own (a deleted file, a pipe) is written through.
  struct stat reached;
  const bool reaches = ::stat(path.c_str(), &reached) == 0;
  if (reaches != t.exists || (reaches && (reached.st_dev != t.st.st_dev ||
                                          reached.st_ino != t.st.st_ino))) {
    t.write_through = true;
  }
  return t;
}

}  // namespace

FileRead ReadRegularFile(const std::string& path, uint64_t max_size) {
  FileRead result;
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    result.error = LastError();
    return result;
  }
  if (S_ISDIR(st.st_mode)) {
    result.error = Errno(EISDIR);
    return result;
  }
  if (!S_ISREG(st.st_mode)) {
    result.error = FileErrc::kNotRegularFile;
    return result;
  }
  // Without blocking: a pipe put in the file's place meanwhile must not
  // wait for a writer.
  Descriptor fd(
      ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) {
    result.error = LastError();
    return result;
  }
  if (::fstat(fd.get(), &st) != 0) {
    result.error = LastError();
    return result;
  }
  if (!S_ISREG(st.st_mode)) {
    result.error = FileErrc::kNotRegularFile;
    return result;
  }
  if (static_cast<uint64_t>(st.st_size) > max_size) {
    result.too_large = true;
    return result;
  }
  result.bytes.resize(static_cast<size_t>(st.st_size));
  size_t done = 0;
  while (done < result.bytes.size()) {
    const ssize_t n = ::read(fd.get(), result.bytes.data() + done,
                             result.bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      result.error = LastError();
      result.bytes.clear();
      return result;
    }
    if (n == 0) break;  // the file shrank meanwhile: take what is there
    done += static_cast<size_t>(n);
  }
  result.bytes.resize(done);
  return result;
}

std::error_code SaveFile(const std::string& path, const uint8_t* data,
                         size_t size, int stall_limit_ms) {
  const Target t = ResolveTarget(path);
  if (t.error) return t.error;
  if (t.write_through) {
    // A file behind a descriptor is someone's open output: written at the
    // descriptor's place, never cut or replaced.
    if (InsideProc(t.name)) {
      if (auto saved = SaveToDescriptorFile(t.name, data, size)) return *saved;
    }
    return WriteThrough(path, data, size, stall_limit_ms);
  }
  bool in_place = false;
  if (!t.exists) {
    return ReplaceAtomically(t.name, data, size, nullptr, &in_place);
  }
  if (S_ISDIR(t.st.st_mode)) return Errno(EISDIR);
  if (S_ISSOCK(t.st.st_mode)) return FileErrc::kNotRegularFile;
  if (!S_ISREG(t.st.st_mode)) {
    return WriteThrough(t.name, data, size, stall_limit_ms);
  }

  // Opened as a direct write would be: a file the user may not write is
  // refused here with the system's reason, whatever its folder allows.
  Descriptor fd(
      ::open(t.name.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) return LastError();
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) return LastError();
  if (!S_ISREG(st.st_mode)) {
    if (std::error_code e = WriteStream(fd.get(), data, size, stall_limit_ms)) {
      return e;
    }
    return fd.Close();
  }
  // A rename would split the file from its other names, or hand a file of
  // another owner to this one: those are written in place, and so is one
  // whose folder does not allow the new file.
  const uid_t user = ::geteuid();
  if (st.st_nlink == 1 && (user == 0 || user == st.st_uid)) {
    const std::error_code e =
        ReplaceAtomically(t.name, data, size, &st, &in_place);
    if (!in_place) return e;
  }
  return WriteInPlace(fd.get(), data, size);
}

bool IsStandardOutput(const std::string& path) {
  struct stat file;
  struct stat out;
  return ::stat(path.c_str(), &file) == 0 &&
         ::fstat(STDOUT_FILENO, &out) == 0 && file.st_dev == out.st_dev &&
         file.st_ino == out.st_ino;
}

}  // namespace taktm
