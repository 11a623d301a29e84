// Temporary folders and whole-file reads for the emulator's tests.
#ifndef TAKT_TESTS_DEVSIM_TEST_FILES_H_
#define TAKT_TESTS_DEVSIM_TEST_FILES_H_

#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace taktm::testing {

// A fresh folder under the system's temporary folder, removed at the end.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp") +
                          std::string("/devsim-test-XXXXXX");
    path_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~TempDir() {
    if (!path_.empty()) {
      [[maybe_unused]] int rc = std::system(("rm -rf '" + path_ + "'").c_str());
    }
  }
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  const std::string text = ReadText(path);
  return std::vector<uint8_t>(text.begin(), text.end());
}

inline std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::istringstream in(ReadText(path));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace taktm::testing

#endif  // TAKT_TESTS_DEVSIM_TEST_FILES_H_
