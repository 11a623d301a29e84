#include "buffer/working_file.h"

#include <filesystem>
#include <string_view>
#include <system_error>

#include "buffer/file_io.h"
#include "buffer/intel_hex.h"

namespace taktm {

namespace fs = std::filesystem;

namespace {

std::string FailureText(const char* what, const std::string& path,
                        const std::error_code& error) {
  return std::string(what) + " \"" + path + "\".\n\r" + error.message();
}

}  // namespace

std::string UpperExtension(const std::string& path) {
  const std::string name = fs::path(path).filename().string();
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return std::string();
  std::string ext = name.substr(dot);
  for (char& c : ext) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return ext;
}

bool WorkingFileController::ShellListView1Click(const FileList& list) {
  host_.ResetStatusColor();
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

LoadOutcome WorkingFileController::LoadFile() {
  editor_.EmptyBuffer();
  if (working_file_.empty()) return LoadOutcome::kNoSuchFile;
  std::error_code ec;
  const fs::file_status status = fs::status(working_file_, ec);
  if (status.type() == fs::file_type::not_found ||
      status.type() == fs::file_type::directory) {
    return LoadOutcome::kNoSuchFile;
  }

  // The format decides the size test, which still comes before any byte
  // is read: a raw file becomes the image byte for byte, while Intel HEX
  // text is more than twice as long as the image it describes.
  const std::string ext = UpperExtension(working_file_);
  const bool intel_hex =
      (ext == ".HEX" && host_.Check4()) || (ext == ".EEP" && host_.Check12());
  FileRead file =
      ReadWholeFile(working_file_, intel_hex ? kHexFileLimit : kBufferLimit);
  if (file.error) {
    host_.ReportError(
        FailureText("Не удалось открыть файл", working_file_, file.error));
    return LoadOutcome::kFailed;
  }
  if (file.too_large) return LoadOutcome::kTooLarge;

  if (!intel_hex) {
    return editor_.LoadBufferFromImage(std::move(file.bytes)) ==
                   StreamLoad::kLoaded
               ? LoadOutcome::kLoaded
               : LoadOutcome::kRefused;
  }
  IntelHexResult hex = ReadIntelHex(std::string_view(
      reinterpret_cast<const char*>(file.bytes.data()), file.bytes.size()));
  switch (hex.status) {
    case HexStatus::kImage:
      return editor_.LoadBufferFromImage(std::move(hex.image)) ==
                     StreamLoad::kLoaded
                 ? LoadOutcome::kLoaded
                 : LoadOutcome::kRefused;
    case HexStatus::kRefused:
      host_.ShowWarning(hex.warning);
      return LoadOutcome::kRefused;
    case HexStatus::kAbandoned:
      break;
  }
  return LoadOutcome::kAbandoned;
}

SaveOutcome WorkingFileController::ToolButton5Click() {
  const std::optional<std::string> chosen =
      host_.PromptSaveFileName(working_file_);
  if (!chosen) return SaveOutcome::kCancelled;
  std::error_code ec;
  if (fs::exists(*chosen, ec) &&
      host_.AskYesNo(kOverwritePrompt) == Answer::kNo) {
    return SaveOutcome::kCancelled;
  }
  const DataBuffer& buffer = editor_.buffer();
  if (std::error_code error =
          WriteFileAtomically(*chosen, buffer.data(), buffer.size())) {
    host_.ReportError(FailureText("Не удалось сохранить файл", *chosen, error));
    return SaveOutcome::kFailed;
  }
  return SaveOutcome::kSaved;
}

}  // namespace taktm
