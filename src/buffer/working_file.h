// The working file: the pick in the file list (with the unsaved-data prompt),
// its load into the buffer (raw, or Intel HEX by extension and settings) and
// the save of the buffer as raw bytes.
#ifndef TAKT_BUFFER_WORKING_FILE_H_
#define TAKT_BUFFER_WORKING_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>

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
  // unread without a message. BufferModified is not touched.
  LoadOutcome LoadFile();
  // Saves the buffer's bytes under a name from the save dialog, asking before
  // it replaces a file. A failed save leaves the old file intact and is
  // reported with the system's reason.
  SaveOutcome ToolButton5Click();

 private:
  BufferEditor& editor_;
  BufferHost& host_;
  std::string working_file_;
};

// The file name's extension from its last dot, dot included, with "a"-"z"
// upper-cased; empty when the name has no dot.
std::string UpperExtension(const std::string& path);

}  // namespace taktm

#endif  // TAKT_BUFFER_WORKING_FILE_H_
