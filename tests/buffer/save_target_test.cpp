// The save through the toolbar button on every kind of target a user may
// pick, on real files in a temporary folder: what the user sees (nothing,
// or the error report) and what is on disk afterwards.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "buffer/child_process.h"
#include "buffer/fake_buffer_host.h"
#include "buffer/file_io.h"
#include "buffer/system_reason.h"
#include "buffer/working_file.h"
#include "harness/random_bytes.h"
#include "harness/temp_dir.h"
#include "support/pty.h"

namespace taktm {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::WriteFile;
using Bytes = std::vector<uint8_t>;

struct stat Lstat(const std::string& path) {
  struct stat st {};
  ::lstat(path.c_str(), &st);
  return st;
}

// Reads `want` bytes from `fd` (non-blocking), for at most 20 s.
Bytes ReadUpTo(int fd, size_t want) {
  Bytes got;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (got.size() < want && std::chrono::steady_clock::now() < deadline) {
    uint8_t chunk[8192];
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n > 0) {
      got.insert(got.end(), chunk, chunk + n);
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  return got;
}

class SaveTargetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    buffer.Assign(image);
    files.SetWorkingFile(dir.File("work.bin"));
  }
  // Saves under `path`, answering Yes to the overwrite question. Returns what
  // the user sees: nothing when it saved, else the error report's text.
  std::string Save(const std::string& path) {
    host.errors.clear();
    host.save_choice = path;
    host.answers = {Answer::kYes};
    const SaveOutcome outcome = files.ToolButton5Click();
    if (outcome == SaveOutcome::kSaved) return "";
    return host.errors.empty() ? "no report" : host.errors.back();
  }
  static std::string Refusal(const std::string& path, const char* reason) {
    return "Не удалось сохранить файл \"" + path + "\".\n\r" + reason;
  }
  // Names in `folder` (the test's folder by default).
  std::vector<std::string> Names(const std::string& folder = {}) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(
             folder.empty() ? dir.path().string() : folder)) {
      names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  testing::TempDir dir;
  DataBuffer buffer;
  testing::FakeBufferHost host;
  BufferEditor editor{buffer, host};
  WorkingFileController files{editor, host};
  const Bytes image = testing::RandomBytes(3000, 11);
  const Bytes old = testing::RandomBytes(1000, 12);
};

TEST_F(SaveTargetTest, SymbolicLinksAreFollowedAndStayLinks) {
  WriteFile(dir.File("target.bin"), old);
  ASSERT_EQ(::symlink("target.bin", dir.File("link1").c_str()), 0);
  ASSERT_EQ(::symlink(dir.File("link1").c_str(), dir.File("link2").c_str()), 0);
  EXPECT_EQ(Save(dir.File("link2")), "");
  EXPECT_EQ(ReadFile(dir.File("target.bin")), image);
  EXPECT_EQ(fs::read_symlink(dir.File("link2")), dir.File("link1"));
  EXPECT_EQ(fs::read_symlink(dir.File("link1")), "target.bin");
  EXPECT_EQ(host.questions.size(), 1u);

  // A dangling link: its target is created, without the overwrite question.
  ASSERT_EQ(::symlink("new.bin", dir.File("dangling").c_str()), 0);
  EXPECT_EQ(Save(dir.File("dangling")), "");
  EXPECT_EQ(ReadFile(dir.File("new.bin")), image);
  EXPECT_TRUE(fs::is_symlink(dir.File("dangling")));
  EXPECT_EQ(host.questions.size(), 1u);
  // One into a missing folder cannot be created.
  ASSERT_EQ(::symlink("missing/x.bin", dir.File("nowhere").c_str()), 0);
  EXPECT_EQ(Save(dir.File("nowhere")),
            Refusal(dir.File("nowhere"), "Нет такого файла или папки"));
  EXPECT_EQ(Names(),
            (std::vector<std::string>{"dangling", "link1", "link2", "new.bin",
                                      "nowhere", "target.bin"}));
}

TEST_F(SaveTargetTest, HardLinkedFilesAreWrittenInPlaceForEveryName) {
  WriteFile(dir.File("a.bin"), old);
  ASSERT_EQ(::link(dir.File("a.bin").c_str(), dir.File("b.bin").c_str()), 0);
  const ino_t inode = Lstat(dir.File("a.bin")).st_ino;
  const struct {
    const char* name;
    size_t size;
  } saves[] = {{"a.bin", 3000}, {"b.bin", 10}, {"a.bin", 70000}};
  for (const auto& s : saves) {
    SCOPED_TRACE(s.size);
    buffer.Assign(testing::RandomBytes(s.size, static_cast<uint32_t>(s.size)));
    EXPECT_EQ(Save(dir.File(s.name)), "");
    EXPECT_EQ(ReadFile(dir.File("a.bin")), buffer.bytes());
    EXPECT_EQ(ReadFile(dir.File("b.bin")), buffer.bytes());
    EXPECT_EQ(Lstat(dir.File("b.bin")).st_ino, inode);
    EXPECT_EQ(Lstat(dir.File("b.bin")).st_nlink, 2u);
  }
  EXPECT_EQ(Names(), (std::vector<std::string>{"a.bin", "b.bin"}));
}

TEST_F(SaveTargetTest, APipeWithAReaderGetsTheBytesAndStaysAPipe) {
  const std::string fifo = dir.File("pipe.bin");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  buffer.Assign(testing::RandomBytes(300000, 13));  // several pipe buffers
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  Bytes received;
  std::thread read([&] { received = ReadUpTo(reader, buffer.size()); });
  EXPECT_EQ(Save(fifo), "");
  read.join();
  ::close(reader);
  EXPECT_TRUE(received == buffer.bytes());
  EXPECT_TRUE(S_ISFIFO(Lstat(fifo).st_mode));
  EXPECT_EQ(host.questions.size(), 1u);  // it exists: the question is asked
}

TEST_F(SaveTargetTest, APipeWithoutAReaderIsRefusedAtOnce) {
  const std::string fifo = dir.File("pipe.bin");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Save(fifo),
            Refusal(fifo,
                    "Устройство недоступно или у канала нет читающего "
                    "процесса"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_TRUE(S_ISFIFO(Lstat(fifo).st_mode));
  EXPECT_EQ(Names(), (std::vector<std::string>{"pipe.bin"}));
}

// A reader that stops reading cannot hold the program: the save fails once
// the pipe has taken nothing for the stall limit.
TEST_F(SaveTargetTest, APipeThatStopsTakingBytesFailsTheSave) {
  const std::string fifo = dir.File("pipe.bin");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  const Bytes big = testing::RandomBytes(1 << 20, 16);
  const auto start = std::chrono::steady_clock::now();
  const std::error_code error = SaveFile(fifo, big.data(), big.size(), 300);
  const auto took = std::chrono::steady_clock::now() - start;
  ::close(reader);
  EXPECT_EQ(error, FileErrc::kStalled);
  EXPECT_EQ(SystemReason(error), "Канал или устройство не принимает данные");
  EXPECT_GE(took, std::chrono::milliseconds(300));
  EXPECT_LT(took, std::chrono::seconds(10));
}

TEST_F(SaveTargetTest, ADeviceNodeGetsTheBytesAndStaysADevice) {
  testing::Pty pty;
  ASSERT_TRUE(pty.ok() && pty.MakeRaw());
  Bytes received;
  std::thread read(
      [&] { received = pty.Read(image.size(), std::chrono::seconds(20)); });
  EXPECT_EQ(Save(pty.slave_name()), "");
  read.join();
  EXPECT_EQ(received, image);
  EXPECT_TRUE(S_ISCHR(Lstat(pty.slave_name()).st_mode));
}

// Links the system makes for open descriptors stand for the descriptor:
// a pipe gets the bytes; a regular file gets them where the descriptor
// writes, as a shell's `>`, `>>` or `1<>` would have them: never cut, never
// replaced, what it held before the descriptor's place kept.
TEST_F(SaveTargetTest, DescriptorLinksAreWrittenThrough) {
  if (!fs::exists("/proc/self/fd")) GTEST_SKIP() << "no /proc here";
  int pipe_fds[2];
  ASSERT_EQ(::pipe2(pipe_fds, O_NONBLOCK), 0);
  Bytes received;
  std::thread read([&] { received = ReadUpTo(pipe_fds[0], image.size()); });
  EXPECT_EQ(Save("/proc/self/fd/" + std::to_string(pipe_fds[1])), "");
  read.join();
  ::close(pipe_fds[0]);
  ::close(pipe_fds[1]);
  EXPECT_EQ(received, image);

  const Bytes earlier = testing::RandomBytes(5000, 14);
  const std::string path = dir.File("open.bin");
  auto joined = [](std::vector<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
  };
  // Saved twice: the second save goes on where the first ended.
  struct Case {
    int flags;
    off_t position;
    Bytes expected;
  };
  const Case cases[] = {
      // `>>`: after everything, also when the descriptor was moved.
      {O_WRONLY | O_APPEND, 0, joined({earlier, image, image})},
      // `{ header; cmd; } > file`: after what went before.
      {O_WRONLY, 5000, joined({earlier, image, image})},
      // `1<> file`: from the descriptor's place on, nothing cut.
      {O_RDWR, 1000,
       joined({Bytes(earlier.begin(), earlier.begin() + 1000), image, image})},
      {O_RDWR, 0,
       joined({image, Bytes(earlier.begin() + 3000, earlier.end())})},
  };
  for (const Case& c : cases) {
    WriteFile(path, earlier);
    const int fd = ::open(path.c_str(), c.flags);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::lseek(fd, c.position, SEEK_SET), c.position);
    const ino_t inode = Lstat(path).st_ino;
    EXPECT_EQ(Save("/proc/self/fd/" + std::to_string(fd)), "");
    if (c.position != 0 || (c.flags & O_APPEND) != 0) {
      EXPECT_EQ(Save("/dev/fd/" + std::to_string(fd)), "");
    }
    ::close(fd);
    EXPECT_EQ(ReadFile(path), c.expected) << c.flags << " " << c.position;
    EXPECT_EQ(Lstat(path).st_ino, inode);
  }
  EXPECT_EQ(Names(), (std::vector<std::string>{"open.bin"}));
}

TEST_F(SaveTargetTest, SocketsAndFoldersAreRefused) {
  const std::string socket_path = dir.File("socket.bin");
  const testing::BoundSocket bound(socket_path);
  ASSERT_TRUE(bound.ok());
  EXPECT_EQ(Save(socket_path), Refusal(socket_path, "Это не обычный файл"));
  fs::create_directory(dir.path() / "folder");
  EXPECT_EQ(Save(dir.File("folder")), Refusal(dir.File("folder"), "Это папка"));
  EXPECT_TRUE(S_ISSOCK(Lstat(socket_path).st_mode));
  EXPECT_TRUE(fs::is_empty(dir.path() / "folder"));
}

// Refused exactly as a direct write would be, although the folder would
// allow a rename over it.
TEST_F(SaveTargetTest, AReadOnlyFileIsRefusedWithTheReason) {
  fs::create_directory(dir.path() / "open");
  ::chmod(dir.File("open").c_str(), 0777);
  const std::string path = dir.File("open/ro.bin");
  WriteFile(path, old);
  ::chmod(path.c_str(), 0444);
  const auto seen =
      testing::RunInChild({.unprivileged = true}, [&] { return Save(path); });
  if (!seen) GTEST_SKIP() << "cannot run as an unprivileged user";
  EXPECT_EQ(*seen, Refusal(path, "Нет прав доступа"));
  EXPECT_EQ(ReadFile(path), old);
  EXPECT_EQ(Lstat(path).st_mode & 07777, 0444u);
  EXPECT_EQ(Names(dir.File("open")), (std::vector<std::string>{"ro.bin"}));
}

TEST_F(SaveTargetTest, AWritableFileInAReadOnlyFolderIsWrittenInPlace) {
  fs::create_directory(dir.path() / "locked");
  const std::string path = dir.File("locked/work.bin");
  WriteFile(path, old);
  ::chmod(path.c_str(), 0666);
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(path.c_str(), testing::kNobody, testing::kNobody), 0);
  }
  ::chmod(dir.File("locked").c_str(), 0555);
  const auto seen =
      testing::RunInChild({.unprivileged = true}, [&] { return Save(path); });
  ::chmod(dir.File("locked").c_str(), 0755);
  if (!seen) GTEST_SKIP() << "cannot run as an unprivileged user";
  EXPECT_EQ(*seen, "");
  EXPECT_EQ(ReadFile(path), image);
  EXPECT_EQ(Names(dir.File("locked")), (std::vector<std::string>{"work.bin"}));
}

// A rename would hand another user's file to the one saving: written in
// place instead, so it keeps its owner (and a group the user is not in).
TEST_F(SaveTargetTest, AnotherUsersFileKeepsItsOwner) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs a second user (run as root)";
  fs::create_directory(dir.path() / "shared");
  ::chmod(dir.File("shared").c_str(), 0777);
  const std::string path = dir.File("shared/theirs.bin");
  WriteFile(path, old);
  ::chmod(path.c_str(), 0666);
  const auto seen =
      testing::RunInChild({.unprivileged = true}, [&] { return Save(path); });
  ASSERT_TRUE(seen.has_value());
  EXPECT_EQ(*seen, "");
  EXPECT_EQ(ReadFile(path), image);
  EXPECT_EQ(Lstat(path).st_uid, 0u);

  // The user's own file with a group the user is not in: a new file could
  // not take that group, so this one is written in place too.
  const std::string own = dir.File("shared/own.bin");
  WriteFile(own, old);
  ASSERT_EQ(::chown(own.c_str(), testing::kNobody, 0), 0);
  ::chmod(own.c_str(), 0664);
  const auto own_seen =
      testing::RunInChild({.unprivileged = true}, [&] { return Save(own); });
  ASSERT_TRUE(own_seen.has_value());
  EXPECT_EQ(*own_seen, "");
  EXPECT_EQ(ReadFile(own), image);
  EXPECT_EQ(Lstat(own).st_gid, 0u);
  EXPECT_EQ(Lstat(own).st_mode & 07777, 0664u);
  EXPECT_EQ(Names(dir.File("shared")),
            (std::vector<std::string>{"own.bin", "theirs.bin"}));
}

// A file size limit stops writes part way, as a full disk does. Whatever the
// path the save takes, the old file stays whole and the failure is shown.
TEST_F(SaveTargetTest, AFullDiskLeavesEveryOldFileWhole) {
  buffer.Assign(testing::RandomBytes(64 * 1024, 15));
  WriteFile(dir.File("single.bin"), old);
  WriteFile(dir.File("a.bin"), old);
  ASSERT_EQ(::link(dir.File("a.bin").c_str(), dir.File("b.bin").c_str()), 0);
  for (const std::string name : {"single.bin", "a.bin", "new.bin"}) {
    SCOPED_TRACE(name);
    const std::string path = dir.File(name);
    const auto seen = testing::RunInChild({.file_size_limit = 4096},
                                          [&] { return Save(path); });
    ASSERT_TRUE(seen.has_value());
    EXPECT_EQ(*seen, Refusal(path, "Файл слишком велик"));
  }
  EXPECT_EQ(ReadFile(dir.File("single.bin")), old);
  EXPECT_EQ(ReadFile(dir.File("a.bin")), old);
  EXPECT_EQ(ReadFile(dir.File("b.bin")), old);
  EXPECT_EQ(Names(),
            (std::vector<std::string>{"a.bin", "b.bin", "single.bin"}));
}

}  // namespace
}  // namespace taktm
