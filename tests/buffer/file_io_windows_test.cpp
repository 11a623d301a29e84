// The file layer on Windows: read-only and busy files, device names, named
// pipes, several names for one file, and the attributes a replace keeps.
#include <gtest/gtest.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "buffer/buffer_editor.h"
#include "buffer/fake_buffer_host.h"
#include "buffer/file_io.h"
#include "buffer/system_reason.h"
#include "buffer/working_file.h"
#include "harness/random_bytes.h"
#include "harness/temp_dir.h"

namespace taktm {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

std::error_code Save(const std::string& path, const Bytes& bytes,
                     int stall_limit_ms = kStallLimitMs) {
  return SaveFile(path, bytes.data(), bytes.size(), stall_limit_ms);
}

std::wstring Wide(const std::string& path) {
  return testing::Utf8Path(path).wstring();
}

DWORD Attributes(const std::string& path) {
  return ::GetFileAttributesW(Wide(path).c_str());
}

class FileIoWindows : public ::testing::Test {
 protected:
  // The names in the folder: a save leaves no file of its own behind.
  size_t NameCount() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir.path()),
                                             fs::directory_iterator()));
  }
  testing::TempDir dir;
  const Bytes old_bytes = testing::RandomBytes(300, 1);
  const Bytes new_bytes = testing::RandomBytes(2000, 2);
};

TEST_F(FileIoWindows, AReadOnlyFileIsRefusedAndKept) {
  const std::string path = dir.File("locked.bin");
  testing::WriteFile(path, old_bytes);
  ASSERT_TRUE(
      ::SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_READONLY));
  const std::error_code e = Save(path, new_bytes);
  EXPECT_EQ(SystemReason(e), "Нет прав доступа") << e.message();
  EXPECT_EQ(SaveFailureText(path, e),
            "Не удалось сохранить файл \"" + path + "\".\n\rНет прав доступа");
  EXPECT_EQ(testing::ReadFile(path), old_bytes);
  EXPECT_TRUE(Attributes(path) & FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(NameCount(), 1u);
  // Still readable.
  EXPECT_EQ(ReadRegularFile(path, 1000).bytes, old_bytes);
  ::SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Another program holding the file: without sharing it is busy and stays as
// it was; one that lets others write but not rename it (as editors do) gets
// the new content written in place.
TEST_F(FileIoWindows, AFileHeldByAnotherProgram) {
  const std::string path = dir.File("held.bin");
  testing::WriteFile(path, old_bytes);
  {
    const HANDLE holder =
        ::CreateFileW(Wide(path).c_str(), GENERIC_READ, 0, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    const std::error_code saved = Save(path, new_bytes);
    const std::error_code read = ReadRegularFile(path, 10000).error;
    ::CloseHandle(holder);
    EXPECT_EQ(SystemReason(saved), "Файл занят") << saved.message();
    EXPECT_EQ(SystemReason(read), "Файл занят") << read.message();
    EXPECT_EQ(testing::ReadFile(path), old_bytes);
    EXPECT_EQ(NameCount(), 1u);
  }
  {
    const HANDLE holder = ::CreateFileW(
        Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    const std::error_code saved = Save(path, new_bytes);
    ::CloseHandle(holder);
    EXPECT_FALSE(saved) << saved.message();
    EXPECT_EQ(testing::ReadFile(path), new_bytes);
    EXPECT_EQ(NameCount(), 1u);
  }
}

// Device names stand for the device in every folder; a load opens none of
// them (opening a serial port raises its control lines), a save writes
// into the device as a shell redirection would.
TEST_F(FileIoWindows, DeviceNamesAreNoFiles) {
  for (const std::string& path :
       {std::string("NUL"), std::string("com1"), dir.File("con.txt"),
        dir.File("LPT1"), std::string("\\\\.\\COM12"),
        std::string("\\\\.\\pipe\\takt-absent"),
        std::string("//./PhysicalDrive0")}) {
    SCOPED_TRACE(path);
    const FileRead read = ReadRegularFile(path, 100);
    EXPECT_EQ(SystemReason(read.error), "Это не обычный файл");
  }
  EXPECT_FALSE(Save("NUL", new_bytes));
  EXPECT_FALSE(Save(dir.File("nul.bin"), new_bytes));
  const std::error_code e = Save("\\\\.\\pipe\\takt-absent", new_bytes);
  EXPECT_EQ(SystemReason(e),
            "Устройство недоступно или у канала нет читающего процесса")
      << e.message();
  EXPECT_EQ(NameCount(), 0u);

  // A drive seen through the device namespace holds ordinary files.
  const std::string path = dir.File("plain.bin");
  const std::string through = "\\\\?\\" + path;
  ASSERT_FALSE(Save(through, old_bytes));
  EXPECT_EQ(ReadRegularFile(through, 1000).bytes, old_bytes);
}

// The server end of a named pipe of this process.
class PipeServer {
 public:
  explicit PipeServer(const std::string& name, DWORD buffer_size = 4096)
      : name_("\\\\.\\pipe\\" + name),
        pipe_(::CreateNamedPipeW(Wide(name_).c_str(), PIPE_ACCESS_INBOUND,
                                 PIPE_TYPE_BYTE | PIPE_WAIT, 1, buffer_size,
                                 buffer_size, 0, nullptr)) {}
  ~PipeServer() {
    if (reader_.joinable()) reader_.join();
    Close();
  }
  PipeServer(const PipeServer&) = delete;
  PipeServer& operator=(const PipeServer&) = delete;
  bool ok() const { return pipe_ != INVALID_HANDLE_VALUE; }
  const std::string& name() const { return name_; }
  void Close() {
    if (ok()) ::CloseHandle(pipe_);
    pipe_ = INVALID_HANDLE_VALUE;
  }
  // Reads everything the client writes until it closes its end.
  void StartReading() {
    reader_ = std::thread([this] {
      ::ConnectNamedPipe(pipe_, nullptr);
      uint8_t chunk[4096];
      DWORD n = 0;
      while (::ReadFile(pipe_, chunk, sizeof(chunk), &n, nullptr) && n > 0) {
        received_.insert(received_.end(), chunk, chunk + n);
      }
    });
  }
  const Bytes& Received() {
    if (reader_.joinable()) reader_.join();
    return received_;
  }

 private:
  std::string name_;
  HANDLE pipe_;
  std::thread reader_;
  Bytes received_;
};

std::string PipeName(const char* what) {
  return std::string("takt-") + what + "-" +
         std::to_string(::GetCurrentProcessId());
}

TEST_F(FileIoWindows, APipeWithAReaderGetsTheBytes) {
  PipeServer server(PipeName("reader"));
  ASSERT_TRUE(server.ok());
  server.StartReading();
  const Bytes bytes = testing::RandomBytes(300000, 3);
  const std::error_code e = Save(server.name(), bytes);
  EXPECT_FALSE(e) << e.message();
  EXPECT_TRUE(server.Received() == bytes);
}

// A reader that never reads cannot hold the save for ever.
TEST_F(FileIoWindows, APipeThatTakesNoBytesFailsTheSave) {
  PipeServer server(PipeName("stalled"));
  ASSERT_TRUE(server.ok());
  const std::error_code e =
      Save(server.name(), testing::RandomBytes(4 << 20, 4), 300);
  EXPECT_EQ(SystemReason(e), "Канал или устройство не принимает данные")
      << e.message();
}

TEST_F(FileIoWindows, ASecondNameIsWrittenInPlaceForBoth) {
  const std::string first = dir.File("first.bin");
  const std::string second = dir.File("second.bin");
  testing::WriteFile(first, old_bytes);
  if (!::CreateHardLinkW(Wide(second).c_str(), Wide(first).c_str(), nullptr)) {
    GTEST_SKIP() << "no hard links here";
  }
  ASSERT_FALSE(Save(second, new_bytes));
  EXPECT_EQ(testing::ReadFile(first), new_bytes);
  EXPECT_EQ(testing::ReadFile(second), new_bytes);
  ASSERT_FALSE(Save(first, old_bytes));  // shorter: cut for both names
  EXPECT_EQ(testing::ReadFile(second), old_bytes);
  EXPECT_EQ(NameCount(), 2u);
}

TEST_F(FileIoWindows, ALinkStaysALinkAndItsTargetIsSaved) {
  const std::string target = dir.File("target.bin");
  const std::string link = dir.File("link.bin");
  testing::WriteFile(target, old_bytes);
  // Without the right to make links the call fails; some systems only
  // pretend to make one.
  if (!::CreateSymbolicLinkW(Wide(link).c_str(), Wide(target).c_str(),
                             SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) ||
      Attributes(link) == INVALID_FILE_ATTRIBUTES ||
      !(Attributes(link) & FILE_ATTRIBUTE_REPARSE_POINT)) {
    GTEST_SKIP() << "no symbolic links here";
  }
  ASSERT_FALSE(Save(link, new_bytes));
  EXPECT_EQ(testing::ReadFile(target), new_bytes);
  EXPECT_TRUE(Attributes(link) & FILE_ATTRIBUTE_REPARSE_POINT);
  EXPECT_EQ(NameCount(), 2u);
}

TEST_F(FileIoWindows, AReplacedFileKeepsItsAttributes) {
  const std::string path = dir.File("hidden.bin");
  testing::WriteFile(path, old_bytes);
  ASSERT_TRUE(::SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_HIDDEN));
  ASSERT_FALSE(Save(path, new_bytes));
  EXPECT_EQ(testing::ReadFile(path), new_bytes);
  EXPECT_TRUE(Attributes(path) & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(NameCount(), 1u);
}

TEST_F(FileIoWindows, NamesWindowsDoesNotTake) {
  for (const std::string& name : {std::string("a?b.bin"), std::string("a*b"),
                                  std::string("bad\xFF.bin")}) {
    SCOPED_TRACE(name);
    const std::string path = dir.File("") + name;
    EXPECT_EQ(SystemReason(Save(path, new_bytes)), "Недопустимое имя файла");
    EXPECT_EQ(SystemReason(ReadRegularFile(path, 10).error),
              "Недопустимое имя файла");
  }
  EXPECT_EQ(NameCount(), 0u);

  // Through the save button: the reason, no crash, the buffer kept.
  DataBuffer buffer;
  testing::FakeBufferHost host;
  BufferEditor editor{buffer, host};
  WorkingFileController files{editor, host};
  buffer.Assign(new_bytes);
  host.save_choice = dir.File("") + "bad\xFF.bin";
  EXPECT_EQ(files.ToolButton5Click(), SaveOutcome::kFailed);
  EXPECT_EQ(host.errors, (std::vector<std::string>{SaveFailureText(
                             *host.save_choice, FileErrc::kBadName)}));
  EXPECT_EQ(buffer.bytes(), new_bytes);
}

TEST_F(FileIoWindows, ExtensionsAreTakenAfterEitherSeparatorOrTheDrive) {
  EXPECT_EQ(UpperExtension("C:\\x.hex\\image"), "");
  EXPECT_EQ(UpperExtension("C:\\папка/прошивка.Hex"), ".HEX");
  EXPECT_EQ(UpperExtension("D:eeprom.eep"), ".EEP");
}

}  // namespace
}  // namespace taktm
