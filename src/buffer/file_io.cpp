#include "buffer/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace taktm {

namespace fs = std::filesystem;

namespace {

std::error_code LastError() {
  return std::error_code(errno, std::generic_category());
}

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

std::error_code WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    if (n == 0) return std::make_error_code(std::errc::no_space_on_device);
    data += n;
    size -= static_cast<size_t>(n);
  }
  return {};
}

}  // namespace

FileRead ReadWholeFile(const std::string& path, uint64_t max_size) {
  FileRead result;
  Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    result.error = LastError();
    return result;
  }
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) {
    result.error = LastError();
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

std::error_code WriteFileAtomically(const std::string& path,
                                    const uint8_t* data, size_t size) {
  // Replace what a symbolic link points at, not the link.
  fs::path target(path);
  std::error_code ec;
  if (fs::is_symlink(target, ec)) {
    const fs::path resolved = fs::weakly_canonical(target, ec);
    if (!ec) target = resolved;
  }
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  std::string stem(1, '.');
  stem += target.filename().string();
  stem += '.';

  fs::path temp;
  int raw_fd = -1;
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 100 && raw_fd < 0; ++attempt) {
    temp = folder / (stem + std::to_string(::getpid()) + "-" +
                     std::to_string(++counter) + ".tmp");
    raw_fd =
        ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (raw_fd < 0 && errno != EEXIST) return LastError();
  }
  if (raw_fd < 0) return LastError();
  Descriptor fd(raw_fd);

  auto fail = [&temp](std::error_code error) {
    ::unlink(temp.c_str());
    return error;
  };
  struct stat old;
  if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    ::fchmod(fd.get(), old.st_mode & 07777);
  }
  if (std::error_code e = WriteAll(fd.get(), data, size)) return fail(e);
  if (::fsync(fd.get()) != 0) return fail(LastError());
  if (std::error_code e = fd.Close()) return fail(e);
  if (::rename(temp.c_str(), target.c_str()) != 0) return fail(LastError());

  // Make the rename itself durable; the new content is already in place.
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return {};
}

}  // namespace taktm
