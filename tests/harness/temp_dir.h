// Temporary folders for tests and benchmarks, removed with their content at
// the end, and whole-file reads and writes of the files put in them.
#ifndef TAKT_TESTS_HARNESS_TEMP_DIR_H_
#define TAKT_TESTS_HARNESS_TEMP_DIR_H_

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace taktm::testing {

// A path from a name in UTF-8, the form the file layer takes on every
// system (a plain std::string is read in the local code page on Windows).
std::filesystem::path Utf8Path(const std::string& name);
std::string Utf8Name(const std::filesystem::path& path);

// A fresh folder of its own under the system's temporary folder.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // `name` may hold folders below this one ("mem/a.flash").
  std::string File(const std::string& name) const;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

#ifndef _WIN32
// A Unix socket bound at `path` (a socket node in the folder), closed when
// the object goes.
class BoundSocket {
 public:
  explicit BoundSocket(const std::string& path);
  ~BoundSocket();
  BoundSocket(const BoundSocket&) = delete;
  BoundSocket& operator=(const BoundSocket&) = delete;
  bool ok() const { return bound_; }

 private:
  int fd_;
  bool bound_ = false;
};
#endif

void WriteFile(const std::string& path, const std::string& content);
void WriteFile(const std::string& path, const std::vector<uint8_t>& content);
// The whole file; empty when it cannot be read.
std::string ReadText(const std::string& path);
std::vector<uint8_t> ReadBytes(const std::string& path);
inline std::vector<uint8_t> ReadFile(const std::string& path) {
  return ReadBytes(path);
}
std::vector<std::string> ReadLines(const std::string& path);

}  // namespace taktm::testing

#endif  // TAKT_TESTS_HARNESS_TEMP_DIR_H_
