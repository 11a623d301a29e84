// The working file with real files: the pick and its prompt, the load by
// extension and size, and the atomic save.
#include "buffer/working_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "buffer/fake_buffer_host.h"
#include "harness/hex_records.h"
#include "harness/random_bytes.h"
#include "harness/temp_dir.h"

// Pipes, terminals, sockets, modes and size limits: POSIX systems only.
#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/pty.h"
#endif

namespace taktm {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::WriteFile;
using Bytes = std::vector<uint8_t>;

#ifndef _WIN32
// objcopy's reading of a HEX file as a flat binary image.
Bytes Objcopy(const std::string& hex) {
  const std::string bin = hex + ".objcopy";
  const std::string command = std::string(TAKT_OBJCOPY) +
                              " -I ihex -O binary '" + hex + "' '" + bin + "'";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return ReadFile(bin);
}
#endif

// A name in `dir` that opens no regular file: a pipe made there, or on
// Windows a device name, which stands for the device in every folder.
std::string NotARegularFile(const testing::TempDir& dir) {
#ifdef _WIN32
  return dir.File("NUL");
#else
  const std::string fifo = dir.File("pipe.bin");
  EXPECT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  return fifo;
#endif
}

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
  for (const std::string name : {"a.hex", "b.Hex", "c.HEX", "d.eep", "g.ihx",
                                 "e.hex.bak", "noext", "f.hexx"}) {
    WriteFile(dir.File(name), hex_text);
  }
  for (const std::string name : {"a.hex", "b.Hex", "c.HEX", "d.eep", "g.ihx"}) {
    EXPECT_EQ(Load(name), LoadOutcome::kLoaded) << name;
    EXPECT_EQ(buffer.bytes(), (Bytes{0xDE, 0xAD})) << name;
    EXPECT_EQ(files.loaded_format(), ImageFormat::kIntelHex);
  }
  EXPECT_TRUE(host.questions.empty());

  // A name that says raw over HEX content is never loaded as raw without
  // the user's word: Yes loads the HEX image, No the bytes, Cancel nothing.
  host.answers = {Answer::kNo, Answer::kYes, Answer::kCancel};
  EXPECT_EQ(Load("e.hex.bak"), LoadOutcome::kLoaded);
  EXPECT_EQ(buffer.size(), hex_text.size());
  ASSERT_EQ(host.questions.size(), 1u);
  EXPECT_NE(host.questions[0].find("похож на файл Intel HEX"),
            std::string::npos);
  EXPECT_EQ(Load("noext"), LoadOutcome::kLoaded);
  EXPECT_EQ(buffer.bytes(), (Bytes{0xDE, 0xAD}));
  EXPECT_EQ(Load("f.hexx"), LoadOutcome::kCancelled);
  EXPECT_TRUE(buffer.empty());
  EXPECT_EQ(host.questions.size(), 3u);
  // The answer holds for the reload of the same file: no second question.
  host.answers = {Answer::kYes};
  EXPECT_EQ(Load("noext"), LoadOutcome::kLoaded);
  EXPECT_TRUE(files.ReloadFile().loaded);
  EXPECT_EQ(host.questions.size(), 4u);

  host.check4 = false;  // ".hex" and ".ihx" names are raw names then
  host.answers = {Answer::kNo, Answer::kNo};
  EXPECT_EQ(Load("a.hex"), LoadOutcome::kLoaded);
  EXPECT_EQ(buffer.size(), hex_text.size());
  EXPECT_EQ(Load("d.eep"), LoadOutcome::kLoaded);
  EXPECT_EQ(buffer.size(), 2u);
  host.check12 = false;
  EXPECT_EQ(Load("d.eep"), LoadOutcome::kLoaded);
  EXPECT_EQ(buffer.size(), hex_text.size());

  // The extension is the file name's, not a folder's.
  fs::create_directory(dir.path() / "folder.hex");
  WriteFile(dir.File("folder.hex/plain"), std::string("plain text"));
  host.check4 = true;
  EXPECT_EQ(Load("folder.hex/plain"), LoadOutcome::kLoaded);
  EXPECT_EQ(buffer.size(), 10u);
  EXPECT_EQ(UpperExtension("/x/y.z/name.tar.gz"), ".GZ");
  EXPECT_EQ(UpperExtension("name."), ".");
}

// The command line's rules: the name's format without the options, and a
// refusal where the window would ask.
TEST_F(WorkingFileTest, RulesWithoutQuestionsRefuseARawNameOverHexContent) {
  WriteFile(dir.File("fw.bin"), hex_text);
  WriteFile(dir.File("fw.hex"), hex_text);
  host.check4 = false;
  LoadRules rules;
  rules.names_by_options = false;
  rules.ask_on_raw_name = false;
  files.SetLoadRules(rules);
  EXPECT_EQ(Load("fw.hex"), LoadOutcome::kLoaded);
  EXPECT_EQ(buffer.bytes(), (Bytes{0xDE, 0xAD}));
  EXPECT_EQ(Load("fw.bin"), LoadOutcome::kRefused);
  EXPECT_NE(files.last_refusal().find("--format raw"), std::string::npos);
  EXPECT_TRUE(host.questions.empty());
  EXPECT_TRUE(buffer.empty());
  rules.format = ImageFormat::kRaw;  // the user's word
  files.SetLoadRules(rules);
  EXPECT_EQ(Load("fw.bin"), LoadOutcome::kLoaded);
  EXPECT_EQ(buffer.size(), hex_text.size());
  rules.format.reset();
  rules.raw_offset = 0x100;  // a raw image placed higher up
  WriteFile(dir.File("app.bin"), std::string("\x01\x02", 2));
  files.SetLoadRules(rules);
  EXPECT_EQ(Load("app.bin"), LoadOutcome::kLoaded);
  Bytes placed(0x100, 0xFF);
  placed.insert(placed.end(), {1, 2});
  EXPECT_EQ(buffer.bytes(), placed);
  // Bytes given whole (standard input) stand for the file.
  files.SetWorkingBytes(Bytes(hex_text.begin(), hex_text.end()));
  EXPECT_EQ(Load("no such file.hex"), LoadOutcome::kLoaded);
  EXPECT_EQ(buffer.bytes(), (Bytes{0xDE, 0xAD}));
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
  WriteFile(dir.File("plain.bin"), std::string("x"));
  EXPECT_EQ(Load("plain.bin/inner.bin"), LoadOutcome::kNoSuchFile);
  EXPECT_EQ(Load("missing/inner.bin"), LoadOutcome::kNoSuchFile);
  EXPECT_TRUE(host.warnings.empty());
  EXPECT_TRUE(host.errors.empty());
}

#ifndef _WIN32
// Only regular files are opened: a pipe without a writer would otherwise
// hold the program in open() for ever.
TEST_F(WorkingFileTest, FoldersPipesDevicesAndSocketsAreRefusedAtOnce) {
  const std::string fifo = dir.File("pipe.hex");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  fs::create_directory(dir.path() / "folder.bin");
  testing::Pty pty;
  ASSERT_TRUE(pty.ok());
  const std::string socket_path = dir.File("socket.bin");
  const testing::BoundSocket bound(socket_path);
  ASSERT_TRUE(bound.ok());
  const struct {
    std::string path;
    const char* reason;
  } cases[] = {
      {fifo, "Это не обычный файл"},
      {dir.File("folder.bin"), "Это папка"},
      {socket_path, "Это не обычный файл"},
      {pty.slave_name(), "Это не обычный файл"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    buffer.Assign({1});
    host.errors.clear();
    files.SetWorkingFile(c.path);
    EXPECT_EQ(files.LoadFile(), LoadOutcome::kFailed);
    EXPECT_TRUE(buffer.empty());
    EXPECT_EQ(host.errors,
              (std::vector<std::string>{"Не удалось открыть файл \"" + c.path +
                                        "\".\n\r" + c.reason}));
  }
}
#endif

// The reload before a write reads into a new image: whatever goes wrong,
// the edited buffer and the grid stay exactly as they were.
TEST_F(WorkingFileTest, AReloadThatFailsKeepsTheBufferAndTheGrid) {
  WriteFile(dir.File("cut.hex"), testing::HexRecord(0, 0, {1}));
  std::string damaged = hex_text;
  damaged[3] = 'X';
  WriteFile(dir.File("damaged.hex"), damaged);
  WriteFile(dir.File("empty.bin"), std::string());
  WriteFile(dir.File("limit.bin"), std::string(0x80000, 'x'));
  const std::string pipe = NotARegularFile(dir);
  const std::string not_loaded = "Рабочий файл не загружен. ";
  const struct {
    std::string path;
    std::string why;
  } cases[] = {
      {"", "Рабочий файл не выбран."},
      {dir.File("absent.bin"), not_loaded + "Нет такого файла или папки."},
      {dir.File("cut.hex"),
       not_loaded + "В файле Intel HEX нет записи конца файла."},
      {dir.File("damaged.hex"),
       not_loaded + "Ошибка в HEX-файле, строка 1: недопустимый символ!"},
      {dir.File("limit.bin"),
       not_loaded + "Вряд ли Вы хотите запрограммировать файл такой длины!"},
      {pipe, not_loaded + "Это не обычный файл."},
      {dir.File("empty.bin"), "Рабочий файл пуст."},
  };
  const Bytes edited = {0xAB, 2, 3, 4, 5};
  buffer.Assign(edited);
  buffer.set_modified(true);
  const int layouts = host.layouts;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    files.SetWorkingFile(c.path);
    const ReloadOutcome outcome = files.ReloadFile();
    EXPECT_FALSE(outcome.loaded);
    EXPECT_EQ(outcome.why, c.why);
    EXPECT_EQ(buffer.bytes(), edited);
    EXPECT_TRUE(buffer.modified());
    EXPECT_EQ(host.layouts, layouts);  // the grid was not touched
  }
  // The boxes the load shows anyway: the damaged file, the size, the pipe.
  EXPECT_EQ(host.warnings.size(), 2u);
  EXPECT_EQ(host.errors.size(), 1u);

  WriteFile(dir.File("good.hex"), hex_text);
  files.SetWorkingFile(dir.File("good.hex"));
  EXPECT_TRUE(files.ReloadFile().loaded);
  EXPECT_EQ(buffer.bytes(), (Bytes{0xDE, 0xAD}));
  EXPECT_EQ(host.layouts, layouts + 1);
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
      const std::string name = testing::Utf8Name(entry.path().filename());
      if (std::find(keep.begin(), keep.end(), name) == keep.end()) {
        left.push_back(name);
      }
    }
    return left;
  }
};

TEST_F(SaveTest, WritesExactlyTheBufferOverALargerFile) {
  WriteFile(dir.File("work.bin"), testing::RandomBytes(1000, 6));
#ifndef _WIN32
  ::chmod(dir.File("work.bin").c_str(), 0640);
#endif
  host.save_choice = dir.File("work.bin");
  host.answers = {Answer::kYes};
  EXPECT_EQ(files.ToolButton5Click(), SaveOutcome::kSaved);
  EXPECT_EQ(host.questions,
            (std::vector<std::string>{"Перезаписать существующий файл?"}));
  EXPECT_EQ(ReadFile(dir.File("work.bin")), buffer.bytes());
#ifndef _WIN32
  EXPECT_EQ(fs::status(dir.File("work.bin")).permissions() & fs::perms::mask,
            fs::perms(0640));
#endif
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

// Names come in UTF-8 from the dialogs and the command line: an existing
// file with a Cyrillic name is asked about, loaded by its extension and
// saved under the same name.
TEST_F(SaveTest, CyrillicNamesAreFoundLoadedAndSaved) {
  const std::string name = "Прошивка с ключом.hex";
  WriteFile(dir.File(name), hex_text);
  EXPECT_EQ(UpperExtension(dir.File(name)), ".HEX");
  EXPECT_EQ(Load(name), LoadOutcome::kLoaded);
  EXPECT_EQ(buffer.bytes(), (Bytes{0xDE, 0xAD}));

  host.save_choice = dir.File(name);
  host.answers = {Answer::kNo};
  EXPECT_EQ(files.ToolButton5Click(), SaveOutcome::kCancelled);
  EXPECT_EQ(host.questions,
            (std::vector<std::string>{"Перезаписать существующий файл?"}));
  host.answers = {Answer::kYes};
  buffer.Assign(Bytes{1, 2});
  EXPECT_EQ(files.ToolButton5Click(), SaveOutcome::kSaved);
  EXPECT_EQ(Load(name), LoadOutcome::kLoaded);
  EXPECT_EQ(buffer.bytes(), (Bytes{1, 2}));
  EXPECT_TRUE(Leftovers({name}).empty());
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

// The names the program reads as Intel HEX are saved as Intel HEX, so that
// picking the saved file again gives the same image; so does objcopy.
TEST_F(SaveTest, HexAndEepNamesAreSavedAsIntelHexAndReadBack) {
  const Bytes image = testing::RandomBytes(0x20000 + 21, 12);  // 3 pages
  buffer.Assign(image);
  buffer.set_modified(true);
  for (const std::string name : {"image.hex", "image.EEP"}) {
    SCOPED_TRACE(name);
    host.save_choice = dir.File(name);
    ASSERT_EQ(files.ToolButton5Click(), SaveOutcome::kSaved);
    const Bytes saved = ReadFile(dir.File(name));
    const std::string text(saved.begin(), saved.end());
    EXPECT_EQ(text.rfind(":10000000", 0), 0u);
    EXPECT_NE(text.find("\r\n:020000040001F9\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\n:020000040002F8\r\n:10000000"), std::string::npos);
    EXPECT_NE(text.find("\r\n:05001000"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 13), ":00000001FF\r\n");
#ifndef _WIN32
    EXPECT_EQ(Objcopy(dir.File(name)), image);
#endif
  }
  // Saving changes neither the working file nor the flag.
  EXPECT_EQ(files.WorkingFile(), dir.File("work.bin"));
  EXPECT_TRUE(buffer.modified());
  for (const std::string name : {"image.hex", "image.EEP"}) {
    buffer.Clear();
    ASSERT_EQ(Load(name), LoadOutcome::kLoaded);
    EXPECT_TRUE(buffer.bytes() == image) << name;
  }

  // With the option off the program reads such a name raw: saved raw.
  buffer.Assign(Bytes{1, 2, 3});
  host.check12 = false;
  host.save_choice = dir.File("raw.eep");
  ASSERT_EQ(files.ToolButton5Click(), SaveOutcome::kSaved);
  EXPECT_EQ(ReadFile(dir.File("raw.eep")), (Bytes{1, 2, 3}));
  buffer.Clear();  // an empty buffer as Intel HEX: the end record alone
  host.save_choice = dir.File("empty.hex");
  ASSERT_EQ(files.ToolButton5Click(), SaveOutcome::kSaved);
  const Bytes empty = ReadFile(dir.File("empty.hex"));
  EXPECT_EQ(std::string(empty.begin(), empty.end()), ":00000001FF\r\n");
}

// Each name saves in its format and loads back to the same image; ELF is
// never written (raw instead).
TEST_F(SaveTest, SrecordIhxAndElfNamesSaveInTheirFormat) {
  const Bytes image = testing::RandomBytes(0x10000 + 5, 13);  // S2 records
  buffer.Assign(image);
  const struct {
    const char* name;
    const char* starts;
    ImageFormat format;
  } cases[] = {
      {"fw.ihx", ":10000000", ImageFormat::kIntelHex},
      {"fw.srec", "S0", ImageFormat::kSrec},
      {"fw.S19", "S0", ImageFormat::kSrec},
      {"fw.mot", "S0", ImageFormat::kSrec},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    host.save_choice = dir.File(c.name);
    ASSERT_EQ(files.ToolButton5Click(), SaveOutcome::kSaved);
    const Bytes saved = ReadFile(dir.File(c.name));
    EXPECT_EQ(std::string(saved.begin(), saved.end()).rfind(c.starts, 0), 0u);
    EXPECT_EQ(FormatOfContent(std::string(saved.begin(), saved.end())),
              c.format);
    ASSERT_EQ(Load(c.name), LoadOutcome::kLoaded);
    EXPECT_TRUE(buffer.bytes() == image);
  }
  host.save_choice = dir.File("fw.elf");
  ASSERT_EQ(files.ToolButton5Click(), SaveOutcome::kSaved);
  EXPECT_TRUE(ReadFile(dir.File("fw.elf")) == image);
}

#ifndef _WIN32
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
  EXPECT_EQ(host.errors[0], "Не удалось сохранить файл \"" +
                                dir.File("work.bin") +
                                "\".\n\rФайл слишком велик");
  EXPECT_TRUE(Leftovers({"work.bin"}).empty());
}
#endif

}  // namespace
}  // namespace taktm
