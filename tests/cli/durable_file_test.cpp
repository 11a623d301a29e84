// The counter's and the log's system calls on this system: the lock excludes
// a second holder, a file is replaced while its lock is held, appends from
// two descriptors both land, and names in Cyrillic work throughout.
#include "cli/durable_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "harness/temp_dir.h"

#ifdef _WIN32
#include <io.h>
#define write _write
#else
#include <unistd.h>
#endif

namespace taktm {
namespace {

using testing::ReadText;
using testing::TempDir;
using testing::Utf8Name;
using testing::WriteFile;

void Put(int fd, const std::string& text) {
  ASSERT_EQ(::write(fd, text.data(), static_cast<unsigned>(text.size())),
            static_cast<int>(text.size()));
}

TEST(DurableFileTest, TheLockExcludesASecondHolderUntilReleased) {
  TempDir dir;
  const std::string path = dir.File("счётчик.txt");
  WriteFile(path, "1000\n");
  const int first = OpenDurable(path, O_RDONLY);
  const int second = OpenDurable(path, O_RDONLY);
  ASSERT_GE(first, 0);
  ASSERT_GE(second, 0);
  EXPECT_EQ(TryLockExclusive(first), 0);
  EXPECT_EQ(TryLockExclusive(second), EWOULDBLOCK);
  CloseDurable(first);
  EXPECT_EQ(TryLockExclusive(second), 0);
  CloseDurable(second);
}

TEST(DurableFileTest, ALockedFileIsReplacedAndTheOldDescriptorGoesStale) {
  TempDir dir;
  const std::string path = dir.File("счётчик.txt");
  const std::string temp = dir.File(".счётчик.txt.new");
  WriteFile(path, "1000\n");
  const int locked = OpenDurable(path, O_RDONLY);
  ASSERT_GE(locked, 0);
  ASSERT_EQ(TryLockExclusive(locked), 0);
  EXPECT_TRUE(IsSameFile(locked, path));

  const int out = OpenDurable(temp, O_WRONLY | O_CREAT | O_EXCL, 0644);
  ASSERT_GE(out, 0);
  Put(out, "1001\n");
  EXPECT_EQ(SyncFile(out), 0);
  CloseDurable(out);
  EXPECT_EQ(MoveOver(temp, path), 0);
  EXPECT_EQ(SyncFolder(Utf8Name(dir.path())), 0);

  EXPECT_EQ(ReadText(path), "1001\n");
  EXPECT_FALSE(IsSameFile(locked, path));
  // The old file is still readable through the descriptor.
  char old[8] = {};
  EXPECT_EQ(ReadAt(locked, old, sizeof old, 0), 5);
  EXPECT_EQ(std::string(old, 5), "1000\n");
  CloseDurable(locked);
  EXPECT_NE(RemoveFile(temp), 0);  // the temporary name is gone
}

TEST(DurableFileTest, CreatingAnExistingNameExclusivelyFails) {
  TempDir dir;
  const std::string path = dir.File("есть.txt");
  WriteFile(path, "x");
  EXPECT_LT(OpenDurable(path, O_WRONLY | O_CREAT | O_EXCL, 0644), 0);
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(ReadText(path), "x");
}

TEST(DurableFileTest, AppendsFromTwoDescriptorsBothLandAtTheEnd) {
  TempDir dir;
  const std::string path = dir.File("журнал.log");
  const int a = OpenDurable(path, O_WRONLY | O_APPEND | O_CREAT);
  const int b = OpenDurable(path, O_WRONLY | O_APPEND | O_CREAT);
  ASSERT_GE(a, 0);
  ASSERT_GE(b, 0);
  Put(a, "первая\n");
  Put(b, "вторая\n");
  Put(a, "третья\n");
  EXPECT_EQ(SyncFile(a), 0);
  EXPECT_EQ(SyncFile(b), 0);
  CloseDurable(a);
  CloseDurable(b);
  EXPECT_EQ(ReadText(path), "первая\nвторая\nтретья\n");
}

TEST(DurableFileTest, TheResolvedNameIsAbsoluteWithSlashesAndKeepsCyrillic) {
  TempDir dir;
  std::filesystem::create_directories(testing::Utf8Path(dir.File("папка")));
  const std::string path = dir.File("папка/файл.txt");
  WriteFile(path, "1");
  int error = 0;
  const auto real = ResolvedPath(path, &error);
  ASSERT_TRUE(real.has_value()) << error;
  EXPECT_EQ(real->find('\\'), std::string::npos) << *real;
  EXPECT_EQ(real->substr(real->size() - std::string("папка/файл.txt").size()),
            "папка/файл.txt");
  EXPECT_EQ(FolderWritable(real->substr(0, real->rfind('/'))), 0);

  EXPECT_FALSE(ResolvedPath(dir.File("нет.txt"), &error).has_value());
  EXPECT_EQ(error, ENOENT);
}

}  // namespace
}  // namespace taktm
