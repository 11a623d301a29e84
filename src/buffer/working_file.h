// The working file: the pick in the file list (with the unsaved-data prompt),
// its load into the buffer (in the format its content and name decide, see
// DecideFormat), its reload before a write, and the save of the buffer (in
// the format of the name it is saved under).
#ifndef TAKT_BUFFER_WORKING_FILE_H_
#define TAKT_BUFFER_WORKING_FILE_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "buffer/buffer_editor.h"
#include "buffer/buffer_host.h"
#include "buffer/image_format.h"

namespace taktm {

inline constexpr char kUnsavedDataPrompt[] =
    "Данные в буфере изменены!\n\rХотите сохранить изменения?";
inline constexpr char kOverwritePrompt[] = "Перезаписать существующий файл?";
inline constexpr char kWorkingFileStatus[] = "Рабочий файл: ";
// Files up to this size are read; the image they describe must still stay
// below kBufferLimit. 16 MiB holds an image just below the limit even in
// Intel HEX records of one byte each (about 15 characters a byte).
inline constexpr uint64_t kHexFileLimit = 16u << 20;

// How a load decides the file's format.
struct LoadRules {
  // The format given (the command line's --format); none: DecideFormat.
  std::optional<ImageFormat> format;
  // Whether ".HEX"/".IHX" and ".EEP" names stand for Intel HEX as the
  // options Check4 and Check12 say (the window), or always (command line).
  bool names_by_options = true;
  // A raw name over content of another format: ask the user (Yes: that
  // format, No: raw, Cancel: nothing loaded), or refuse the file.
  bool ask_on_raw_name = true;
  // Where a raw image starts. The bytes below it are 0xFF in the image,
  // and a write or verify leaves them alone (DataBuffer::origin).
  uint32_t raw_offset = 0;
};

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
  kCancelled,   // the user cancelled the format question: nothing loaded
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

  void SetLoadRules(const LoadRules& rules) { rules_ = rules; }
  // The working file's bytes given whole (standard input): loads and
  // reloads read them instead of WorkingFile, which only names them.
  void SetWorkingBytes(std::vector<uint8_t> bytes) {
    working_bytes_ = std::move(bytes);
  }
  // The format of the last image read, and why the last read gave none
  // (a sentence, empty after a success).
  ImageFormat loaded_format() const { return loaded_format_; }
  const std::string& last_refusal() const { return last_refusal_; }

  // The file pick: with unsaved data, asks whether to save first. Cancel, or
  // Yes followed by a save that did not happen, stops the pick and keeps the
  // edits; otherwise BufferModified is cleared and Timer1Timer runs. True
  // when the pick went ahead.
  bool ShellListView1Click(const FileList& list);
  // The last selected item becomes WorkingFile (none selected: it stays),
  // the status bar names it, and LoadFile runs.
  LoadOutcome Timer1Timer(const FileList& list);
  // Empties the buffer and loads WorkingFile into it, in the format the
  // rules decide. A file larger than kHexFileLimit, or a raw one larger than
  // kBufferLimit, is left unloaded without a message; a folder, pipe, device
  // or socket is refused with the reason, without waiting. BufferModified
  // is not touched.
  LoadOutcome LoadFile();
  // The reload before a write: WorkingFile is read into a new image, which
  // replaces the buffer only when it loaded and is not empty. Otherwise the
  // buffer, the grid and BufferModified stay exactly as they were.
  ReloadOutcome ReloadFile();
  // Saves the buffer under a name from the save dialog, asking before it
  // replaces a file, in the format of the name (SaveFormatOfName). A failed
  // save is reported with the reason and never leaves a shorter file where a
  // whole one stood.
  SaveOutcome ToolButton5Click();

 private:
  // WorkingFile read and parsed, the buffer untouched. Warnings and error
  // reports are shown here; `why` holds the reason as a sentence.
  struct ImageRead {
    LoadOutcome outcome = LoadOutcome::kFailed;
    std::vector<uint8_t> image;
    size_t origin = 0;  // where a raw image placed at an offset starts
    std::string why;
  };
  ImageRead ReadImage();
  // The format `bytes` are read as; nothing when the user cancelled or the
  // file was refused (`read` says why).
  std::optional<ImageFormat> ChooseFormat(std::string_view bytes,
                                          ImageRead& read);

  BufferEditor& editor_;
  BufferHost& host_;
  std::string working_file_;
  LoadRules rules_;
  std::optional<std::vector<uint8_t>> working_bytes_;
  ImageFormat loaded_format_ = ImageFormat::kRaw;
  std::string last_refusal_;
  // The user's answer to the format question, kept while the working file
  // stays the same, so that the reload before a write does not ask again.
  std::string answered_file_;
  ImageFormat answered_format_ = ImageFormat::kRaw;
};

// The question asked when a raw name holds content of `found`.
std::string FormatQuestion(const std::string& path, ImageFormat found);
// The command line's refusal of the same case.
std::string FormatRefusal(const std::string& path, ImageFormat found);

// Saves an image under `path` (see SaveFile) in `format` (EncodeImage). The
// window and the command line both save through here.
std::error_code SaveImage(const std::string& path, const uint8_t* data,
                          size_t size, ImageFormat format);

// The messages that report a failed load or save, with the reason.
std::string LoadFailureText(const std::string& path,
                            const std::error_code& error);
std::string SaveFailureText(const std::string& path,
                            const std::error_code& error);

}  // namespace taktm

#endif  // TAKT_BUFFER_WORKING_FILE_H_
