// The working file with real files: the pick and its prompt, the load by
// extension and size, and the atomic save.
#include "buffer/working_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "buffer/fake_buffer_host.h"
#include "buffer/hex_records.h"
#include "buffer/temp_dir.h"

namespace taktm {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::WriteFile;
using Bytes = std::vector<uint8_t>;

class FakeFileList : public FileList {
 public:
  size_t ItemCount() const override { return items.size(); }
  std::string ItemPath(size_t i) const override { return items[i].first; }
  bool ItemSelected(size_t i) const override { return items[i].second; }
  std::vector<std::pair<std::string, bool>> items;
};

class WorkingFileTest : public ::testing::Test {
 protected:
  // A file list showing `names`, with only `selected` selected.
  FakeFileList ListWith(const std::vector<std::string>& names,
                        const std::string& selected) {
    FakeFileList list;
    for (const auto& name : names) {
      list.items.emplace_back(dir.File(name), name == selected);
    }
    return list;
  }
  LoadOutcome Load(const std::string& name) {
    files.SetWorkingFile(dir.File(name));
    return files.LoadFile();
  }

  testing::TempDir dir;
  DataBuffer buffer;
  testing::FakeBufferHost host;
  BufferEditor editor{buffer, host};
  WorkingFileController files{editor, host};
  const std::string hex_text =
      testing::HexRecord(0, 0, {0xDE, 0xAD}) + testing::EndOfFileRecord();
};

TEST_F(WorkingFileTest, ExtensionAndSettingsChooseTheFormat) {
  for (const std::string name :
       {"a.hex", "b.Hex", "c.HEX", "d.eep", "e.hex.bak", "noext", "f.hexx"}) {
    WriteFile(dir.File(name), hex_text);
  }
  for (const std::string name : {"a.hex", "b.Hex", "c.HEX", "d.eep"}) {
    EXPECT_EQ(Load(name), LoadOutcome::kLoaded) << name;
    EXPECT_EQ(buffer.bytes(), (Bytes{0xDE, 0xAD})) << name;
  }
  for (const std::string name : {"e.hex.bak", "noext", "f.hexx"}) {
    EXPECT_EQ(Load(name), LoadOutcome::kLoaded) << name;
    EXPECT_EQ(buffer.size(), hex_text.size()) << name;
  }
  host.check4 = false;
  EXPECT_EQ(Load("a.hex"), LoadOutcome::kLoaded);
  EXPECT_EQ(buffer.size(), hex_text.size());
  EXPECT_EQ(Load("d.eep"), LoadOutcome::kLoaded);
  EXPECT_EQ(buffer.size(), 2u);
  host.check12 = false;
  EXPECT_EQ(Load("d.eep"), LoadOutcome::kLoaded);
  EXPECT_EQ(buffer.size(), hex_text.size());

  // The extension is the file name's, not a folder's.
  fs::create_directory(dir.path() / "folder.hex");
  WriteFile(dir.File("folder.hex/plain"), hex_text);
  host.check4 = true;
  EXPECT_EQ(Load("folder.hex/plain"), LoadOutcome::kLoaded);
  EXPECT_EQ(buffer.size(), hex_text.size());
  EXPECT_EQ(UpperExtension("/x/y.z/name.tar.gz"), ".GZ");
  EXPECT_EQ(UpperExtension("name."), ".");
}

TEST_F(WorkingFileTest, OversizedFilesAreLeftUnreadWithoutAMessage) {
  WriteFile(dir.File("big.bin"), std::string(600000, 'x'));
  buffer.Assign({1, 2, 3});
  EXPECT_EQ(Load("big.bin"), LoadOutcome::kTooLarge);
  EXPECT_TRUE(buffer.empty());
  // Read raw when the option is off, so the raw limit applies.
  WriteFile(dir.File("big.hex"), std::string(600000, ':'));
  host.check4 = false;
  EXPECT_EQ(Load("big.hex"), LoadOutcome::kTooLarge);
  host.check4 = true;
  WriteFile(dir.File("huge.hex"), std::string(kHexFileLimit + 1, ' '));
  EXPECT_EQ(Load("huge.hex"), LoadOutcome::kTooLarge);
  EXPECT_TRUE(host.warnings.empty());
  EXPECT_TRUE(host.errors.empty());
}

TEST_F(WorkingFileTest, HexFilesLongerThanTheRawLimitLoadTheirImage) {
  // 0x60000 bytes in 16-byte records: about 1.7 MB of text.
  const Bytes image = testing::RandomBytes(0x60000, 4);
  const std::string text = testing::ImageToHex(image);
  ASSERT_GT(text.size(), kBufferLimit);
  WriteFile(dir.File("large.hex"), text);
  EXPECT_EQ(Load("large.hex"), LoadOutcome::kLoaded);
  EXPECT_TRUE(buffer.bytes() == image);
}

TEST_F(WorkingFileTest, RawFilesAtTheLimitAreRefusedWithTheWarning) {
  WriteFile(dir.File("limit.bin"), std::string(0x80000, 'x'));
  EXPECT_EQ(Load("limit.bin"), LoadOutcome::kRefused);
  EXPECT_TRUE(buffer.empty());
  ASSERT_EQ(host.warnings.size(), 1u);
  EXPECT_EQ(host.warnings[0], kTooLongWarning);

  std::string largest(0x7FFFF, 'y');
  largest.back() = 'z';
  WriteFile(dir.File("largest.bin"), largest);
  EXPECT_EQ(Load("largest.bin"), LoadOutcome::kLoaded);
  EXPECT_EQ(buffer.size(), 0x7FFFFu);
  EXPECT_EQ(buffer.at(0x7FFFE), 'z');
  EXPECT_EQ(editor.row_count(), 32769u);
}

TEST_F(WorkingFileTest, DamagedOrUnfinishedHexFilesLeaveTheBufferEmpty) {
  std::string damaged = hex_text;
  damaged[3] = 'X';
  WriteFile(dir.File("damaged.hex"), damaged);
  buffer.Assign({1});
  EXPECT_EQ(Load("damaged.hex"), LoadOutcome::kRefused);
  EXPECT_TRUE(buffer.empty());
  ASSERT_EQ(host.warnings.size(), 1u);
  EXPECT_NE(host.warnings[0].find("строка 1"), std::string::npos);

  WriteFile(dir.File("unfinished.hex"), testing::HexRecord(0, 0, {1}));
  buffer.Assign({1});
  EXPECT_EQ(Load("unfinished.hex"), LoadOutcome::kAbandoned);
  EXPECT_TRUE(buffer.empty());
  EXPECT_EQ(host.warnings.size(), 1u);
  EXPECT_TRUE(host.errors.empty());
}

TEST_F(WorkingFileTest, MissingFilesLeaveTheBufferEmptyWithoutAMessage) {
  buffer.Assign({1});
  EXPECT_EQ(files.LoadFile(), LoadOutcome::kNoSuchFile);  // no working file
  EXPECT_TRUE(buffer.empty());
  EXPECT_EQ(host.layouts, 1);  // the grid shows its two empty rows
  buffer.Assign({1});
  EXPECT_EQ(Load("absent.bin"), LoadOutcome::kNoSuchFile);
  EXPECT_TRUE(buffer.empty());
  EXPECT_EQ(Load(""), LoadOutcome::kNoSuchFile);  // the folder itself
  EXPECT_TRUE(host.warnings.empty());
  EXPECT_TRUE(host.errors.empty());
}

TEST_F(WorkingFileTest, AFileThatCannotBeOpenedIsReportedWithTheReason) {
  // Opening a socket fails for every user, root included.
  const std::string path = dir.File("socket.bin");
  const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(path.size(), sizeof(address.sun_path));
  path.copy(address.sun_path, path.size());
  ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)),
            0);
  buffer.Assign({1});
  EXPECT_EQ(Load("socket.bin"), LoadOutcome::kFailed);
  ::close(s);
  EXPECT_TRUE(buffer.empty());
  ASSERT_EQ(host.errors.size(), 1u);
  EXPECT_EQ(
      host.errors[0].rfind("Не удалось открыть файл \"" + path + "\".\n\r", 0),
      0u);
  EXPECT_GT(host.errors[0].size(), path.size() + 40);  // the reason follows
}

TEST_F(WorkingFileTest, TheLastSelectedItemBecomesTheWorkingFile) {
  WriteFile(dir.File("one.bin"), std::string("1"));
  WriteFile(dir.File("two.bin"), std::string("22"));
  FakeFileList list = ListWith({"one.bin", "two.bin"}, "");
  list.items[0].second = list.items[1].second = true;
  EXPECT_EQ(files.Timer1Timer(list), LoadOutcome::kLoaded);
  EXPECT_EQ(files.WorkingFile(), dir.File("two.bin"));
  EXPECT_EQ(host.status, "Рабочий файл: " + dir.File("two.bin"));
  EXPECT_EQ(buffer.size(), 2u);

  // Nothing selected: the same file is loaded again.
  buffer.Set(0, 0);
  files.Timer1Timer(ListWith({"one.bin", "two.bin"}, ""));
  EXPECT_EQ(files.WorkingFile(), dir.File("two.bin"));
  EXPECT_EQ(buffer.at(0), '2');
}

TEST_F(WorkingFileTest, APickAtStartWithNothingSelectedJustEmptiesTheGrid) {
  EXPECT_TRUE(files.ShellListView1Click(ListWith({"x"}, "")));
  EXPECT_EQ(host.status, "Рабочий файл: ");
  EXPECT_TRUE(buffer.empty());
  EXPECT_EQ(host.status_colour_resets, 1);
  EXPECT_TRUE(host.questions.empty());
}

class PickWithUnsavedData : public WorkingFileTest {
 protected:
  void SetUp() override {
    WriteFile(dir.File("first.bin"), Bytes{1, 2, 3});
    WriteFile(dir.File("second.bin"), Bytes{9});
    ASSERT_TRUE(files.ShellListView1Click(list_first));
    editor.StringGrid1KeyPress(kEnterKey, GridCell{1, 1}, "AA");
    ASSERT_TRUE(buffer.modified());
  }
  void ExpectPickCancelled() {
    EXPECT_TRUE(buffer.modified());
    EXPECT_EQ(buffer.bytes(), (Bytes{0xAA, 2, 3}));
    EXPECT_EQ(files.WorkingFile(), dir.File("first.bin"));
  }
  FakeFileList list_first = ListWith({"first.bin", "second.bin"}, "first.bin");
  FakeFileList list_second =
      ListWith({"first.bin", "second.bin"}, "second.bin");
};

TEST_F(PickWithUnsavedData, CancelKeepsEverything) {
  host.answers = {Answer::kCancel};
  EXPECT_FALSE(files.ShellListView1Click(list_second));
  ASSERT_EQ(host.questions.size(), 1u);
  EXPECT_EQ(host.questions[0],
            "Данные в буфере изменены!\n\rХотите сохранить изменения?");
  ExpectPickCancelled();
}

TEST_F(PickWithUnsavedData, NoDropsTheEditsAndLoadsTheNewFile) {
  host.answers = {Answer::kNo};
  EXPECT_TRUE(files.ShellListView1Click(list_second));
  EXPECT_FALSE(buffer.modified());
  EXPECT_EQ(buffer.bytes(), (Bytes{9}));
  EXPECT_EQ(ReadFile(dir.File("first.bin")), (Bytes{1, 2, 3}));
}

TEST_F(PickWithUnsavedData, YesThenACancelledSaveDialogKeepsTheEdits) {
  host.answers = {Answer::kYes};
  host.save_choice.reset();
  EXPECT_FALSE(files.ShellListView1Click(list_second));
  EXPECT_EQ(host.save_presets,
            (std::vector<std::string>{dir.File("first.bin")}));
  ExpectPickCancelled();
}

TEST_F(PickWithUnsavedData, YesThenNoToTheOverwriteKeepsTheEdits) {
  host.answers = {Answer::kYes, Answer::kNo};
  host.save_choice = dir.File("first.bin");
  EXPECT_FALSE(files.ShellListView1Click(list_second));
  EXPECT_EQ(host.questions.back(), "Перезаписать существующий файл?");
  EXPECT_EQ(ReadFile(dir.File("first.bin")), (Bytes{1, 2, 3}));
  ExpectPickCancelled();
}

TEST_F(PickWithUnsavedData, YesThenAFailedSaveKeepsTheEdits) {
  host.answers = {Answer::kYes};
  host.save_choice = dir.File("no-such-folder/first.bin");
  EXPECT_FALSE(files.ShellListView1Click(list_second));
  EXPECT_EQ(host.errors.size(), 1u);
  ExpectPickCancelled();
}

TEST_F(PickWithUnsavedData, YesSavesThenSwitchesAndASaveAloneClearsNothing) {
  host.answers = {Answer::kYes, Answer::kYes};
  host.save_choice = dir.File("first.bin");
  EXPECT_TRUE(files.ShellListView1Click(list_second));
  EXPECT_EQ(ReadFile(dir.File("first.bin")), (Bytes{0xAA, 2, 3}));
  EXPECT_EQ(buffer.bytes(), (Bytes{9}));
  EXPECT_FALSE(buffer.modified());

  // Saving does not clear BufferModified: the next pick asks again.
  editor.StringGrid1KeyPress(kEnterKey, GridCell{1, 1}, "BB");
  host.save_choice = dir.File("copy.bin");
  EXPECT_EQ(files.ToolButton5Click(), SaveOutcome::kSaved);
  EXPECT_TRUE(buffer.modified());
  EXPECT_EQ(files.WorkingFile(), dir.File("second.bin"));
  host.questions.clear();
  host.answers = {Answer::kCancel};
  EXPECT_FALSE(files.ShellListView1Click(list_first));
  EXPECT_EQ(host.questions.size(), 1u);
}

class SaveTest : public WorkingFileTest {
 protected:
  void SetUp() override {
    buffer.Assign(testing::RandomBytes(100, 5));
    files.SetWorkingFile(dir.File("work.bin"));
  }
  // Files in the folder other than `keep`: temporary files left behind.
  std::vector<std::string> Leftovers(const std::vector<std::string>& keep) {
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
      const std::string name = entry.path().filename().string();
      if (std::find(keep.begin(), keep.end(), name) == keep.end()) {
        left.push_back(name);
      }
    }
    return left;
  }
};

TEST_F(SaveTest, WritesExactlyTheBufferOverALargerFile) {
  WriteFile(dir.File("work.bin"), testing::RandomBytes(1000, 6));
  ::chmod(dir.File("work.bin").c_str(), 0640);
  host.save_choice = dir.File("work.bin");
  host.answers = {Answer::kYes};
  EXPECT_EQ(files.ToolButton5Click(), SaveOutcome::kSaved);
  EXPECT_EQ(host.questions,
            (std::vector<std::string>{"Перезаписать существующий файл?"}));
  EXPECT_EQ(ReadFile(dir.File("work.bin")), buffer.bytes());
  EXPECT_EQ(fs::status(dir.File("work.bin")).permissions() & fs::perms::mask,
            fs::perms(0640));
  EXPECT_TRUE(Leftovers({"work.bin"}).empty());
}

TEST_F(SaveTest, OnlyNoStopsTheOverwrite) {
  WriteFile(dir.File("work.bin"), std::string("old"));
  host.save_choice = dir.File("work.bin");
  host.answers = {Answer::kNo};
  EXPECT_EQ(files.ToolButton5Click(), SaveOutcome::kCancelled);
  EXPECT_EQ(ReadFile(dir.File("work.bin")), (Bytes{'o', 'l', 'd'}));
  host.answers = {Answer::kCancel};  // the box closed by its title bar
  EXPECT_EQ(files.ToolButton5Click(), SaveOutcome::kSaved);
  EXPECT_EQ(ReadFile(dir.File("work.bin")), buffer.bytes());
}

TEST_F(SaveTest, NewFileWithoutAQuestionAndAnEmptyBufferGivesAnEmptyFile) {
  host.save_choice = dir.File("new.bin");
  buffer.Clear();
  EXPECT_EQ(files.ToolButton5Click(), SaveOutcome::kSaved);
  EXPECT_TRUE(host.questions.empty());
  ASSERT_TRUE(fs::exists(dir.File("new.bin")));
  EXPECT_EQ(fs::file_size(dir.File("new.bin")), 0u);
}

TEST_F(SaveTest, AnUnwritablePathIsReportedAndLeavesNothingBehind) {
  WriteFile(dir.File("plain"), std::string("x"));
  for (const std::string& target :
       {dir.File("missing/out.bin"), dir.File("plain/out.bin")}) {
    host.errors.clear();
    host.save_choice = target;
    EXPECT_EQ(files.ToolButton5Click(), SaveOutcome::kFailed) << target;
    ASSERT_EQ(host.errors.size(), 1u);
    EXPECT_EQ(host.errors[0].rfind(
                  "Не удалось сохранить файл \"" + target + "\".\n\r", 0),
              0u);
  }
  EXPECT_TRUE(Leftovers({"plain"}).empty());
  EXPECT_EQ(buffer.size(), 100u);
}

TEST_F(SaveTest, AReadOnlyFolderRefusesTheSave) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  fs::create_directory(dir.path() / "locked");
  WriteFile(dir.File("locked/work.bin"), std::string("old"));
  ::chmod(dir.File("locked").c_str(), 0555);
  host.save_choice = dir.File("locked/work.bin");
  host.answers = {Answer::kYes};
  EXPECT_EQ(files.ToolButton5Click(), SaveOutcome::kFailed);
  ::chmod(dir.File("locked").c_str(), 0755);
  EXPECT_EQ(host.errors.size(), 1u);
  EXPECT_EQ(ReadFile(dir.File("locked/work.bin")), (Bytes{'o', 'l', 'd'}));
}

TEST_F(SaveTest, AShortWriteLeavesTheOldFileIntact) {
  // A file size limit makes the write stop part way, as a full disk does.
  const Bytes old = testing::RandomBytes(1000, 8);
  WriteFile(dir.File("work.bin"), old);
  buffer.Assign(testing::RandomBytes(64 * 1024, 9));
  host.save_choice = dir.File("work.bin");
  host.answers = {Answer::kYes};

  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 4096;
  void (*previous)(int) = ::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const SaveOutcome outcome = files.ToolButton5Click();
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, previous);

  EXPECT_EQ(outcome, SaveOutcome::kFailed);
  EXPECT_EQ(ReadFile(dir.File("work.bin")), old);
  ASSERT_EQ(host.errors.size(), 1u);
  EXPECT_NE(host.errors[0].find("large"), std::string::npos) << host.errors[0];
  EXPECT_TRUE(Leftovers({"work.bin"}).empty());
}

}  // namespace
}  // namespace taktm
