// The file layer's contract where every system keeps it alike: exact bytes,
// whole replacement, the reasons for names that hold no file, UTF-8 names.
#include "buffer/file_io.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "buffer/system_reason.h"
#include "harness/random_bytes.h"
#include "harness/temp_dir.h"

namespace taktm {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::Utf8Path;
using testing::WriteFile;
using Bytes = std::vector<uint8_t>;

std::error_code Save(const std::string& path, const Bytes& bytes) {
  return SaveFile(path, bytes.data(), bytes.size());
}

std::vector<std::string> Names(const testing::TempDir& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    names.push_back(testing::Utf8Name(entry.path().filename()));
  }
  return names;
}

// Line ends, a text end mark and zeros must pass untouched: a text-mode
// write would change them.
const Bytes kAwkward = {'\r', '\n', 0x1A, 0, '\n', '\n', '\r', 0xFF, 0, 0x1A};

TEST(FileIo, ASaveReplacesTheWholeFileWithExactlyItsBytes) {
  testing::TempDir dir;
  const std::string path = dir.File("image.bin");
  WriteFile(path, testing::RandomBytes(5000, 1));
  ASSERT_FALSE(Save(path, kAwkward));
  EXPECT_EQ(ReadFile(path), kAwkward);  // shorter than before: cut

  const Bytes longer = testing::RandomBytes(70000, 2);
  ASSERT_FALSE(Save(path, longer));
  const FileRead read = ReadRegularFile(path, longer.size());
  EXPECT_FALSE(read.error);
  EXPECT_FALSE(read.too_large);
  EXPECT_TRUE(read.bytes == longer);
  EXPECT_TRUE(ReadRegularFile(path, longer.size() - 1).too_large);

  ASSERT_FALSE(Save(path, Bytes{}));
  EXPECT_EQ(fs::file_size(Utf8Path(path)), 0u);
  EXPECT_EQ(Names(dir), (std::vector<std::string>{"image.bin"}));
}

TEST(FileIo, NamesThatHoldNoFileGetTheirReason) {
  testing::TempDir dir;
  fs::create_directory(dir.path() / "folder");
  WriteFile(dir.File("plain"), std::string("x"));
  const Bytes bytes = {1, 2, 3};

  const std::string missing_folder = dir.File("missing/new.bin");
  std::error_code e = Save(missing_folder, bytes);
  EXPECT_EQ(SystemReason(e), "Нет такого файла или папки") << e.message();
  e = ReadRegularFile(dir.File("absent.bin"), 100).error;
  EXPECT_EQ(SystemReason(e), "Нет такого файла или папки") << e.message();

  e = Save(dir.File("folder"), bytes);
  EXPECT_EQ(SystemReason(e), "Это папка") << e.message();
  e = ReadRegularFile(dir.File("folder"), 100).error;
  EXPECT_EQ(SystemReason(e), "Это папка") << e.message();

  // A file where a folder should be: either reason says what is wrong.
  e = Save(dir.File("plain/new.bin"), bytes);
  const std::string reason = SystemReason(e);
  EXPECT_TRUE(reason == "Нет такого файла или папки" ||
              reason == "Часть пути не является папкой")
      << reason;

  EXPECT_TRUE(fs::is_empty(dir.path() / "folder"));
  EXPECT_EQ(ReadFile(dir.File("plain")), (Bytes{'x'}));
  EXPECT_EQ(Names(dir).size(), 2u);  // nothing left behind
}

TEST(FileIo, NamesAreUtf8OnEverySystem) {
  testing::TempDir dir;
  const std::string folder = dir.File("Прошивки");
  fs::create_directory(Utf8Path(folder));
  const std::string path = folder + "/блок №1.hex";
  ASSERT_FALSE(Save(path, kAwkward));
  EXPECT_TRUE(fs::exists(Utf8Path(folder) / Utf8Path("блок №1.hex")));
  EXPECT_EQ(ReadRegularFile(path, 100).bytes, kAwkward);
  ASSERT_FALSE(Save(path, Bytes{7}));  // over the file just made
  EXPECT_EQ(ReadRegularFile(path, 100).bytes, (Bytes{7}));
  EXPECT_EQ(Names(dir), (std::vector<std::string>{"Прошивки"}));
}

// The program's standard output sent to `path` while the object lives.
class OutputTo {
 public:
  explicit OutputTo(const std::string& path) {
    std::fflush(stdout);
#ifdef _WIN32
    saved_ = ::GetStdHandle(STD_OUTPUT_HANDLE);
    file_ = ::CreateFileW(Utf8Path(path).c_str(), GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, 0, nullptr);
    ok_ = file_ != INVALID_HANDLE_VALUE &&
          ::SetStdHandle(STD_OUTPUT_HANDLE, file_);
#else
    saved_ = ::dup(STDOUT_FILENO);
    const int fd = ::open(path.c_str(), O_WRONLY);
    ok_ = saved_ >= 0 && fd >= 0 && ::dup2(fd, STDOUT_FILENO) >= 0;
    if (fd >= 0) ::close(fd);
#endif
  }
  ~OutputTo() {
#ifdef _WIN32
    ::SetStdHandle(STD_OUTPUT_HANDLE, saved_);
    if (file_ != INVALID_HANDLE_VALUE) ::CloseHandle(file_);
#else
    if (saved_ >= 0) {
      ::dup2(saved_, STDOUT_FILENO);
      ::close(saved_);
    }
#endif
  }
  OutputTo(const OutputTo&) = delete;
  OutputTo& operator=(const OutputTo&) = delete;
  bool ok() const { return ok_; }

 private:
#ifdef _WIN32
  HANDLE saved_;
  HANDLE file_;
#else
  int saved_;
#endif
  bool ok_ = false;
};

TEST(FileIo, TheStandardOutputIsKnownByItsFileNotItsName) {
  testing::TempDir dir;
  WriteFile(dir.File("out.txt"), std::string());
  WriteFile(dir.File("other.txt"), std::string());
  fs::create_directory(dir.path() / "sub");
  bool while_redirected[4] = {};
  {
    OutputTo redirect(dir.File("out.txt"));
    ASSERT_TRUE(redirect.ok());
    while_redirected[0] = IsStandardOutput(dir.File("out.txt"));
    while_redirected[1] = IsStandardOutput(dir.File("sub/../out.txt"));
    while_redirected[2] = IsStandardOutput(dir.File("other.txt"));
    while_redirected[3] = IsStandardOutput(dir.File("absent.txt"));
  }
  EXPECT_TRUE(while_redirected[0]);
  EXPECT_TRUE(while_redirected[1]);
  EXPECT_FALSE(while_redirected[2]);
  EXPECT_FALSE(while_redirected[3]);
  EXPECT_FALSE(IsStandardOutput(dir.File("out.txt")));
}

}  // namespace
}  // namespace taktm
