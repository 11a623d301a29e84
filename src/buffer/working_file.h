// The working file: the pick in the file list (with the unsaved-data prompt),
// its load into the buffer (raw, or Intel HEX by extension and settings), its
// reload before a write, and the save of the buffer (Intel HEX or raw, by the
// same rule).
#ifndef TAKT_BUFFER_WORKING_FILE_H_
#define TAKT_BUFFER_WORKING_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

#include "buffer/buffer_editor.h"
#include "buffer/buffer_host.h"

namespace taktm {

inline constexpr char kUnsavedDataPrompt[] =
    "Данные в буфере изменены!\n\rХотите сохранить изменения?";
inline constexpr char kOverwritePrompt[] = "Перезаписать существующий файл?";
inline constexpr char kWorkingFileStatus[] = "Рабочий файл: ";
// Intel HEX files up to this size are read; the image they describe must
// still stay below kBufferLimit. 16 MiB holds an image just below the limit
// even in records of one byte each (about 15 characters a byte).
inline constexpr uint64_t kHexFileLimit = 16u << 20;

// What the pick needs of the file list: its items in order, each item's full
// path and whether it is selected.
class FileList {
 public:
  virtual ~FileList() = default;
  virtual size_t ItemCount() const = 0;
  virtual std::string ItemPath(size_t i) const = 0;
  virtual bool ItemSelected(size_t i) const = 0;
};

enum class LoadOutcome {
  kLoaded,      // the buffer holds the file
  kNoSuchFile,  // no file at WorkingFile: the buffer stays empty, no message
  kTooLarge,    // larger than kBufferLimit: empty buffer, no message
  kRefused,     // a warning was shown (size, damaged HEX file)
  kAbandoned,   // a HEX file without an end-of-file record, no message
  kFailed,      // the system's reason went to the error report
};

enum class SaveOutcome { kSaved, kCancelled, kFailed };

// A reload that did not replace the buffer says why, in whole sentences
// ("Рабочий файл не загружен. Нет такого файла или папки.").
struct ReloadOutcome {
  bool loaded = false;
  std::string why;
};

class WorkingFileController {
 public:
  WorkingFileController(BufferEditor& editor, BufferHost& host)
      : editor_(editor), host_(host) {}
  WorkingFileController(const WorkingFileController&) = delete;
  WorkingFileController& operator=(const WorkingFileController&) = delete;

  const std::string& WorkingFile() const { return working_file_; }
  void SetWorkingFile(std::string path) { working_file_ = std::move(path); }

  // The file pick: with unsaved data, asks whether to save first. Cancel, or
  // Yes followed by a save that did not happen, stops the pick and keeps the
  // edits; otherwise BufferModified is cleared and Timer1Timer runs. True
  // when the pick went ahead.
  bool ShellListView1Click(const FileList& list);
  // The last selected item becomes WorkingFile (none selected: it stays),
  // the status bar names it, and LoadFile runs.
  LoadOutcome Timer1Timer(const FileList& list);
  // Empties the buffer and loads WorkingFile into it. ".HEX" (with Check4)
  // and ".EEP" (with Check12) are read as Intel HEX, everything else raw. A
  // file larger than kBufferLimit (raw) or kHexFileLimit (Intel HEX) is left
  // unread without a message; a folder, pipe, device or socket is refused
  // with the reason, without waiting. BufferModified is not touched.
  LoadOutcome LoadFile();
  // The reload before a write: WorkingFile is read into a new image, which
  // replaces the buffer only when it loaded and is not empty. Otherwise the
  // buffer, the grid and BufferModified stay exactly as they were.
  ReloadOutcome ReloadFile();
  // Saves the buffer under a name from the save dialog, asking before it
  // replaces a file: as Intel HEX for the names LoadFile reads as Intel HEX,
  // raw otherwise. A failed save is reported with the reason and never
  // leaves a shorter file where a whole one stood.
  SaveOutcome ToolButton5Click();

 private:
  // WorkingFile read and parsed, the buffer untouched. Warnings and error
  // reports are shown here; `why` holds the reason as a sentence.
  struct ImageRead {
    LoadOutcome outcome = LoadOutcome::kFailed;
    std::vector<uint8_t> image;
    std::string why;
  };
  ImageRead ReadImage();

  BufferEditor& editor_;
  BufferHost& host_;
  std::string working_file_;
};

// The file name's extension from its last dot, dot included, with "a"-"z"
// upper-cased; empty when the name has no dot.
std::string UpperExtension(const std::string& path);

// Whether the program reads `path` as Intel HEX: ".HEX" with "понимать
// HEX-файлы" (Check4) on, ".EEP" with "понимать EEP-файлы" (Check12) on.
bool IsIntelHexName(const std::string& path, bool check4, bool check12);

// Saves an image under `path` (see SaveFile): as Intel HEX text
// (WriteIntelHex) or as the raw bytes. The window and the command line
// both save through here.
std::error_code SaveImage(const std::string& path, const uint8_t* data,
                          size_t size, bool as_intel_hex);

// The messages that report a failed load or save, with the reason.
std::string LoadFailureText(const std::string& path,
                            const std::error_code& error);
std::string SaveFailureText(const std::string& path,
                            const std::error_code& error);

}  // namespace taktm

#endif  // TAKT_BUFFER_WORKING_FILE_H_
