#include "harness/temp_dir.h"

#ifdef _WIN32
#include <process.h>
#else
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

#include <fstream>
#include <iterator>
#include <sstream>

namespace taktm::testing {

std::filesystem::path Utf8Path(const std::string& name) {
  return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

std::string Utf8Name(const std::filesystem::path& path) {
  const std::u8string name = path.u8string();
  return std::string(name.begin(), name.end());
}

TempDir::TempDir() {
#ifdef _WIN32
  static int counter = 0;
  path_ = std::filesystem::temp_directory_path() /
          ("takt-test-" + std::to_string(::_getpid()) + "-" +
           std::to_string(++counter));
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
#else
  // mkdtemp makes a folder no other process has, with rights for us alone.
  std::string pattern =
      (std::filesystem::temp_directory_path() / "takt-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) return;
  path_ = pattern;
  // Readable by all, as a folder made the usual way: some tests look at it
  // as another, unprivileged user.
  std::error_code ec;
  std::filesystem::permissions(path_,
                               std::filesystem::perms::owner_all |
                                   std::filesystem::perms::group_read |
                                   std::filesystem::perms::group_exec |
                                   std::filesystem::perms::others_read |
                                   std::filesystem::perms::others_exec,
                               ec);
#endif
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string TempDir::File(const std::string& name) const {
  return Utf8Name(path_ / Utf8Path(name));
}

#ifndef _WIN32
BoundSocket::BoundSocket(const std::string& path)
    : fd_(::socket(AF_UNIX, SOCK_STREAM, 0)) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (fd_ < 0 || path.size() >= sizeof(address.sun_path)) return;
  path.copy(address.sun_path, path.size());
  bound_ =
      ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
}

BoundSocket::~BoundSocket() {
  if (fd_ >= 0) ::close(fd_);
}
#endif

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(Utf8Path(path), std::ios::binary) << content;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& content) {
  std::ofstream(Utf8Path(path), std::ios::binary)
      .write(reinterpret_cast<const char*>(content.data()),
             static_cast<std::streamsize>(content.size()));
}

std::string ReadText(const std::string& path) {
  std::ifstream in(Utf8Path(path), std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  const std::string text = ReadText(path);
  return std::vector<uint8_t>(text.begin(), text.end());
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::istringstream in(ReadText(path));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace taktm::testing
