#include "cli/stdio_files.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace taktm {

namespace fs = std::filesystem;

const StdinRead& ReadStandardInput(uint64_t limit) {
  static StdinRead read;
  static bool done = false;
  if (done) return read;
  done = true;
#ifdef _WIN32
  _setmode(_fileno(stdin), _O_BINARY);
#endif
  char chunk[65536];
  for (;;) {
    const size_t n = std::fread(chunk, 1, sizeof chunk, stdin);
    read.bytes.insert(read.bytes.end(), chunk, chunk + n);
    if (read.bytes.size() > limit) {
      read.too_large = true;
      read.bytes.clear();
      return read;
    }
    if (n < sizeof chunk) break;
  }
  read.failed = std::ferror(stdin) != 0;
  return read;
}

void SetStandardOutputBinary() {
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
#endif
}

std::string AbsoluteName(const std::string& path) {
  std::error_code ec;
#ifdef _WIN32
  // Names are UTF-8 in the program; the path type takes them as such.
  const fs::path given(std::u8string(path.begin(), path.end()));
  const std::u8string text =
      fs::absolute(given, ec).lexically_normal().u8string();
  if (ec) return path;
  return std::string(text.begin(), text.end());
#else
  // The bytes as they are: a POSIX name is any bytes but "/" and NUL.
  const fs::path absolute = fs::absolute(fs::path(path), ec);
  if (ec) return path;
  return absolute.lexically_normal().string();
#endif
}

std::string RecordedFileName(const std::string& file) {
  return file == "-" ? file : AbsoluteName(file);
}

}  // namespace taktm
