#include "buffer/working_file.h"

#include <filesystem>
#include <string_view>
#include <system_error>

#include "buffer/file_io.h"
#include "buffer/intel_hex.h"
#include "buffer/intel_hex_writer.h"
#include "buffer/system_reason.h"

namespace taktm {

namespace fs = std::filesystem;

namespace {

constexpr char kNotLoaded[] = "Рабочий файл не загружен. ";

std::string FailureText(const char* what, const std::string& path,
                        const std::error_code& error) {
  return std::string(what) + " \"" + path + "\".\n\r" + SystemReason(error);
}

// A box text on one line, for the status bar.
std::string OneLine(std::string_view text) {
  std::string line;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 2, "\n\r") == 0) {
      line += ' ';
      ++i;
    } else {
      line += text[i];
    }
  }
  return line;
}

// Whether something is there under `path`. Names are UTF-8 everywhere in
// the program; a path made from a plain string would read them in the local
// code page on Windows, and one that is not UTF-8 names nothing there.
bool Exists(const std::string& path) {
  std::error_code ec;
  try {
    return fs::exists(fs::path(std::u8string(path.begin(), path.end())), ec);
  } catch (const std::exception&) {
    return false;
  }
}

bool IsMissing(const std::error_code& error) {
  return error == std::errc::no_such_file_or_directory ||
         error == std::errc::not_a_directory;
}

}  // namespace

std::string LoadFailureText(const std::string& path,
                            const std::error_code& error) {
  return FailureText("Не удалось открыть файл", path, error);
}

std::string SaveFailureText(const std::string& path,
                            const std::error_code& error) {
  return FailureText("Не удалось сохранить файл", path, error);
}

std::string UpperExtension(const std::string& path) {
  // The name is what follows the folder, whatever the bytes in it.
#ifdef _WIN32
  const size_t folder_end = path.find_last_of("/\\:");
#else
  const size_t folder_end = path.rfind('/');
#endif
  const std::string name =
      folder_end == std::string::npos ? path : path.substr(folder_end + 1);
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return std::string();
  std::string ext = name.substr(dot);
  for (char& c : ext) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return ext;
}

bool WorkingFileController::ShellListView1Click(const FileList& list) {
  host_.ResetStatusColour();
  if (editor_.buffer().modified()) {
    switch (host_.AskYesNoCancel(kUnsavedDataPrompt)) {
      case Answer::kYes:
        if (ToolButton5Click() != SaveOutcome::kSaved) return false;
        break;
      case Answer::kNo:
        break;
      case Answer::kCancel:
        return false;
    }
  }
  editor_.buffer().set_modified(false);
  Timer1Timer(list);
  return true;
}

LoadOutcome WorkingFileController::Timer1Timer(const FileList& list) {
  const size_t count = list.ItemCount();
  for (size_t i = 0; i < count; ++i) {
    if (list.ItemSelected(i)) working_file_ = list.ItemPath(i);
  }
  host_.ShowStatus(kWorkingFileStatus + working_file_);
  return LoadFile();
}

WorkingFileController::ImageRead WorkingFileController::ReadImage() {
  ImageRead read;
  // The format decides the size test, which still comes before any byte
  // is read: a raw file becomes the image byte for byte, while Intel HEX
  // text is more than twice as long as the image it describes.
  const bool intel_hex =
      IsIntelHexName(working_file_, host_.Check4(), host_.Check12());
  FileRead file =
      ReadRegularFile(working_file_, intel_hex ? kHexFileLimit : kBufferLimit);
  if (file.error) {
    read.why = SystemReason(file.error) + ".";
    if (IsMissing(file.error)) {
      read.outcome = LoadOutcome::kNoSuchFile;
    } else {
      host_.ReportError(LoadFailureText(working_file_, file.error));
      read.outcome = LoadOutcome::kFailed;
    }
    return read;
  }
  if (file.too_large) {
    read.outcome = LoadOutcome::kTooLarge;
    read.why = "Файл слишком велик для буфера.";
    return read;
  }
  if (!intel_hex) {
    read.outcome = LoadOutcome::kLoaded;
    read.image = std::move(file.bytes);
    return read;
  }
  IntelHexResult hex = ReadIntelHex(std::string_view(
      reinterpret_cast<const char*>(file.bytes.data()), file.bytes.size()));
  switch (hex.status) {
    case HexStatus::kImage:
      read.outcome = LoadOutcome::kLoaded;
      read.image = std::move(hex.image);
      break;
    case HexStatus::kRefused:
      host_.ShowWarning(hex.warning);
      read.outcome = LoadOutcome::kRefused;
      read.why = OneLine(hex.warning);
      break;
    case HexStatus::kAbandoned:
      read.outcome = LoadOutcome::kAbandoned;
      read.why = "В файле Intel HEX нет записи конца файла.";
      break;
  }
  return read;
}

LoadOutcome WorkingFileController::LoadFile() {
  editor_.EmptyBuffer();
  if (working_file_.empty()) return LoadOutcome::kNoSuchFile;
  ImageRead read = ReadImage();
  if (read.outcome != LoadOutcome::kLoaded) return read.outcome;
  return editor_.LoadBufferFromImage(std::move(read.image)) ==
                 StreamLoad::kLoaded
             ? LoadOutcome::kLoaded
             : LoadOutcome::kRefused;
}

ReloadOutcome WorkingFileController::ReloadFile() {
  if (working_file_.empty()) return {false, "Рабочий файл не выбран."};
  ImageRead read = ReadImage();
  if (read.outcome != LoadOutcome::kLoaded) {
    return {false, kNotLoaded + read.why};
  }
  if (read.image.empty()) return {false, "Рабочий файл пуст."};
  if (editor_.LoadBufferFromImage(std::move(read.image)) !=
      StreamLoad::kLoaded) {
    return {false, kNotLoaded + OneLine(kTooLongWarning)};
  }
  return {true, std::string()};
}

SaveOutcome WorkingFileController::ToolButton5Click() {
  const std::optional<std::string> chosen =
      host_.PromptSaveFileName(working_file_);
  if (!chosen) return SaveOutcome::kCancelled;
  if (Exists(*chosen) && host_.AskYesNo(kOverwritePrompt) == Answer::kNo) {
    return SaveOutcome::kCancelled;
  }
  const DataBuffer& buffer = editor_.buffer();
  const bool intel_hex =
      IsIntelHexName(*chosen, host_.Check4(), host_.Check12());
  if (std::error_code error =
          SaveImage(*chosen, buffer.data(), buffer.size(), intel_hex)) {
    host_.ReportError(SaveFailureText(*chosen, error));
    return SaveOutcome::kFailed;
  }
  return SaveOutcome::kSaved;
}

bool IsIntelHexName(const std::string& path, bool check4, bool check12) {
  const std::string ext = UpperExtension(path);
  return (ext == ".HEX" && check4) || (ext == ".EEP" && check12);
}

std::error_code SaveImage(const std::string& path, const uint8_t* data,
                          size_t size, bool as_intel_hex) {
  if (!as_intel_hex) return SaveFile(path, data, size);
  const std::string text = WriteIntelHex(data, size);
  return SaveFile(path, reinterpret_cast<const uint8_t*>(text.data()),
                  text.size());
}

}  // namespace taktm
