#include "buffer/working_file.h"

#include <filesystem>
#include <string_view>
#include <system_error>

#include "buffer/file_io.h"
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

std::optional<ImageFormat> WorkingFileController::ChooseFormat(
    std::string_view bytes, ImageRead& read) {
  if (rules_.format) return rules_.format;
  const bool by_options = rules_.names_by_options;
  const FormatDecision d =
      DecideFormat(FormatOfName(working_file_, !by_options || host_.Check4(),
                                !by_options || host_.Check12()),
                   FormatOfContent(bytes));
  if (!d.ask) return d.format;
  if (!rules_.ask_on_raw_name) {
    read.outcome = LoadOutcome::kRefused;
    read.why = FormatRefusal(working_file_, d.format);
    return std::nullopt;
  }
  if (answered_file_ == working_file_) return answered_format_;
  switch (host_.AskYesNoCancel(FormatQuestion(working_file_, d.format))) {
    case Answer::kYes:
      answered_format_ = d.format;
      break;
    case Answer::kNo:
      answered_format_ = ImageFormat::kRaw;
      break;
    case Answer::kCancel:
      read.outcome = LoadOutcome::kCancelled;
      read.why = "Загрузка отменена.";
      return std::nullopt;
  }
  answered_file_ = working_file_;
  return answered_format_;
}

WorkingFileController::ImageRead WorkingFileController::ReadImage() {
  ImageRead read;
  if (answered_file_ != working_file_) answered_file_.clear();
  FileRead file;
  if (working_bytes_) {
    file.bytes = *working_bytes_;
    file.too_large = file.bytes.size() > kHexFileLimit;
  } else {
    file = ReadRegularFile(working_file_, kHexFileLimit);
  }
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
  const std::string_view bytes(reinterpret_cast<const char*>(file.bytes.data()),
                               file.bytes.size());
  const std::optional<ImageFormat> format =
      file.too_large ? std::nullopt : ChooseFormat(bytes, read);
  // A raw file becomes the image byte for byte; text and ELF files are
  // larger than the image they describe.
  if (file.too_large ||
      (format == ImageFormat::kRaw && file.bytes.size() > kBufferLimit)) {
    read.outcome = LoadOutcome::kTooLarge;
    read.why = "Файл слишком велик для буфера.";
    return read;
  }
  if (!format) return read;
  loaded_format_ = *format;
  ImageResult image = ReadImageAs(*format, bytes, rules_.raw_offset);
  switch (image.status) {
    case ImageStatus::kImage:
      read.outcome = LoadOutcome::kLoaded;
      read.image = std::move(image.image);
      if (*format == ImageFormat::kRaw) read.origin = rules_.raw_offset;
      break;
    case ImageStatus::kRefused:
      host_.ShowWarning(image.warning);
      read.outcome = LoadOutcome::kRefused;
      read.why = OneLine(image.warning);
      break;
    case ImageStatus::kAbandoned:
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
  last_refusal_ = read.why;
  if (read.outcome != LoadOutcome::kLoaded) return read.outcome;
  return editor_.LoadBufferFromImage(std::move(read.image), read.origin) ==
                 StreamLoad::kLoaded
             ? LoadOutcome::kLoaded
             : LoadOutcome::kRefused;
}

ReloadOutcome WorkingFileController::ReloadFile() {
  if (working_file_.empty()) return {false, "Рабочий файл не выбран."};
  ImageRead read = ReadImage();
  last_refusal_ = read.why;
  if (read.outcome != LoadOutcome::kLoaded) {
    return {false, kNotLoaded + read.why};
  }
  if (read.image.empty()) return {false, "Рабочий файл пуст."};
  if (editor_.LoadBufferFromImage(std::move(read.image), read.origin) !=
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
  const ImageFormat format =
      SaveFormatOfName(*chosen, host_.Check4(), host_.Check12());
  if (std::error_code error =
          SaveImage(*chosen, buffer.data(), buffer.size(), format)) {
    host_.ReportError(SaveFailureText(*chosen, error));
    return SaveOutcome::kFailed;
  }
  return SaveOutcome::kSaved;
}

std::string FormatQuestion(const std::string& path, ImageFormat found) {
  const std::string title = FormatTitle(found);
  return "Файл \"" + path + "\" похож на файл " + title +
         ".\n\rЗагрузить его как " + title +
         "?\n\rНет - загрузить байты файла как есть.";
}

std::string FormatRefusal(const std::string& path, ImageFormat found) {
  return "Файл \"" + path + "\" по содержимому - " + FormatTitle(found) +
         ", а по имени - двоичный. Укажите --format " + FormatWord(found) +
         " или, чтобы записать байты файла как есть, --format raw.";
}

std::error_code SaveImage(const std::string& path, const uint8_t* data,
                          size_t size, ImageFormat format) {
  if (format == ImageFormat::kRaw) return SaveFile(path, data, size);
  const std::string text = EncodeImage(format, data, size);
  return SaveFile(path, reinterpret_cast<const uint8_t*>(text.data()),
                  text.size());
}

}  // namespace taktm
