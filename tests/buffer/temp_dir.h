// A fresh folder under the system's temporary folder, removed with its
// content when the test ends.
#ifndef TAKT_TESTS_BUFFER_TEMP_DIR_H_
#define TAKT_TESTS_BUFFER_TEMP_DIR_H_

#ifdef _WIN32
#include <process.h>
#else
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace taktm::testing {

// A path from a name in UTF-8, the form the file layer takes on every
// system (a plain std::string is read in the local code page on Windows).
inline std::filesystem::path Utf8Path(const std::string& name) {
  return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

inline std::string Utf8Name(const std::filesystem::path& path) {
  const std::u8string name = path.u8string();
  return std::string(name.begin(), name.end());
}

inline int ProcessId() {
#ifdef _WIN32
  return ::_getpid();
#else
  return static_cast<int>(::getpid());
#endif
}

class TempDir {
 public:
  TempDir() {
    static int counter = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("takt-buffer-" + std::to_string(ProcessId()) + "-" +
             std::to_string(++counter));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string File(const std::string& name) const {
    return Utf8Name(path_ / Utf8Path(name));
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

#ifndef _WIN32
// A Unix socket bound at `path` (a socket node in the folder), closed when
// the object goes.
class BoundSocket {
 public:
  explicit BoundSocket(const std::string& path)
      : fd_(::socket(AF_UNIX, SOCK_STREAM, 0)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (fd_ < 0 || path.size() >= sizeof(address.sun_path)) return;
    path.copy(address.sun_path, path.size());
    bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&address),
                    sizeof(address)) == 0;
  }
  ~BoundSocket() {
    if (fd_ >= 0) ::close(fd_);
  }
  BoundSocket(const BoundSocket&) = delete;
  BoundSocket& operator=(const BoundSocket&) = delete;
  bool ok() const { return bound_; }

 private:
  int fd_;
  bool bound_ = false;
};
#endif

inline void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(Utf8Path(path), std::ios::binary) << content;
}

inline void WriteFile(const std::string& path,
                      const std::vector<uint8_t>& content) {
  std::ofstream(Utf8Path(path), std::ios::binary)
      .write(reinterpret_cast<const char*>(content.data()),
             static_cast<std::streamsize>(content.size()));
}

inline std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(Utf8Path(path), std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                              std::istreambuf_iterator<char>());
}

// Reproducible pseudo-random bytes.
inline std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
  std::vector<uint8_t> bytes(n);
  uint32_t x = seed | 1;
  for (auto& b : bytes) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<uint8_t>(x >> 24);
  }
  return bytes;
}

}  // namespace taktm::testing

#endif  // TAKT_TESTS_BUFFER_TEMP_DIR_H_
