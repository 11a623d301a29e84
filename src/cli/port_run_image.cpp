// The steps of a port's run that load, save and judge an image: the input
// file, the read saved to its file, blank-check and checksum, and the image
// as the write uses it.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "buffer/file_io.h"
#include "buffer/sha256.h"
#include "buffer/working_file.h"
#include "cli/checksum.h"
#include "cli/file_options.h"
#include "cli/memory_commands.h"
#include "cli/port_run.h"
#include "cli/stdio_files.h"
#include "link/memory_command.h"

namespace taktm {
namespace {

std::string Sha256Hex(const DataBuffer& buffer) {
  return taktm::Sha256Hex(buffer.data(), buffer.size());
}

}  // namespace

// The input goes through the program's own file rules: the working file's
// load in the format --format gives or the content decides (the window's
// Check4 and Check12 play no part); "-" is standard input, read whole before
// anything is queued.
bool PortRun::LoadInputFile(const std::string& name, JsonObject& into) {
  const bool from_stdin = name == kStdioName;
  const std::string path = RecordedFileName(name);
  WorkingFileController& file = host_.core().working_file();
  file.SetWorkingFile(path);
  LoadRules rules;
  rules.format = options_.format;
  rules.names_by_options = false;
  rules.ask_on_raw_name = false;
  rules.raw_offset = options_.offset;
  file.SetLoadRules(rules);
  into.Add("file", path);
  if (from_stdin) {
    const StdinRead& input = ReadStandardInput(kHexFileLimit);
    if (input.failed || input.too_large || input.bytes.empty()) {
      Finish(ExitStatus::kFileError,
             input.failed ? "Стандартный ввод не читается."
             : input.too_large ? "Стандартный ввод слишком велик для буфера."
                               : "Стандартный ввод пуст.");
      return false;
    }
    // Standard input has no name to weigh: its content decides.
    if (!rules.format) {
      rules.format = FormatOfContent(
          std::string_view(reinterpret_cast<const char*>(input.bytes.data()),
                           input.bytes.size()));
      file.SetLoadRules(rules);
    }
    file.SetWorkingBytes(input.bytes);
  }
  const size_t warnings_before = host_.warnings().size();
  const LoadOutcome outcome = file.LoadFile();
  auto last_warning = [&](const char* fallback) {
    return host_.warnings().size() > warnings_before ? host_.warnings().back()
                                                     : std::string(fallback);
  };
  switch (outcome) {
    case LoadOutcome::kLoaded:
      break;
    case LoadOutcome::kNoSuchFile:
      Finish(ExitStatus::kFileError,
             LoadFailureText(path, std::make_error_code(
                                       std::errc::no_such_file_or_directory)));
      return false;
    case LoadOutcome::kTooLarge:
      Finish(ExitStatus::kFileError, "Файл слишком велик для буфера: " + path);
      return false;
    case LoadOutcome::kRefused:
    case LoadOutcome::kCancelled:
      Finish(ExitStatus::kFileError, host_.warnings().size() > warnings_before
                                         ? last_warning("") + " (" + path + ")"
                                         : file.last_refusal());
      return false;
    case LoadOutcome::kAbandoned:
      Finish(ExitStatus::kFileError,
             "В файле Intel HEX нет записи конца файла: " + path);
      return false;
    case LoadOutcome::kFailed:
      Finish(ExitStatus::kFileError, host_.error_reports().empty()
                                         ? "Файл не читается: " + path
                                         : host_.error_reports().back());
      return false;
  }
  if (host_.core().buffer().size() == 0) {
    Finish(ExitStatus::kFileError, "Файл пуст: " + path);
    return false;
  }
  into.Add("format", FormatWord(file.loaded_format()));
  if (options_.offset != 0 && file.loaded_format() != ImageFormat::kRaw) {
    Finish(
        ExitStatus::kUsage,
        std::string("Ключ --offset — только для двоичного образа, а файл - ") +
            FormatTitle(file.loaded_format()) + ": " + path);
    return false;
  }
  image_sha256_ = Sha256Hex(host_.core().buffer());
  into.AddNumber("bytes", static_cast<int64_t>(host_.core().buffer().size()));
  return true;
}

// What decides the file's bytes: the settings' source and the thirteen
// options as this run uses them, and the offset of a raw image.
void PortRun::AddFileOptions() {
  facts().Add("settings", options_.defaults ? "defaults" : "stored");
  JsonObject options;
  for (Option o : kAllOptions) {
    options.AddBool("Check" + std::to_string(OptionNumber(o)),
                    settings_.options[o]);
  }
  facts().Add("options", options);
  if (options_.offset != 0) facts().AddNumber("offset", options_.offset);
}

// A read is saved in the format --format gives, else in the format of the
// name (Intel HEX for .hex/.eep/.ihx, S-record for its names, raw
// otherwise), through the window's writers; "-" is standard output, with
// every message on standard error.
void PortRun::SaveRead() {
  // With --range the file holds the range's bytes alone.
  if (options_.range) {
    DataBuffer& image = host_.core().buffer();
    const std::vector<uint8_t> all = image.bytes();
    const size_t from = std::min<size_t>(options_.range->start, all.size());
    const size_t to =
        std::min<size_t>(from + options_.range->length, all.size());
    image.Assign(
        std::vector<uint8_t>(all.begin() + static_cast<ptrdiff_t>(from),
                             all.begin() + static_cast<ptrdiff_t>(to)));
  }
  const DataBuffer& buffer = host_.core().buffer();
  const std::string& path = options_.file;
  const ImageFormat format =
      options_.format.value_or(SaveFormatOfName(path, true, true));
  AddFileOptions();
  facts()
      .Add("file", path)
      .Add("format", FormatWord(format))
      .AddNumber("bytes", static_cast<int64_t>(buffer.size()));
  image_sha256_ = Sha256Hex(buffer);
  std::error_code error;
  if (path == kStdioName) {
    out_ = &streams_.err;
    SetStandardOutputBinary();
    const std::string bytes = EncodeImage(format, buffer.data(), buffer.size());
    streams_.out.write(bytes.data(),
                       static_cast<std::streamsize>(bytes.size()));
    streams_.out.flush();
    if (!streams_.out) error = std::make_error_code(std::errc::io_error);
  } else {
    // `read-flash /dev/stdout`: the image is the output, the rest goes aside.
    if (IsStandardOutput(path)) out_ = &streams_.err;
    error = SaveImage(path, buffer.data(), buffer.size(), format);
  }
  if (error) {
    return Finish(ExitStatus::kFileError, SaveFailureText(path, error));
  }
  Say("Прочитано " + std::to_string(buffer.size()) + " байт в " + path +
      (format == ImageFormat::kRaw
           ? ""
           : std::string(" (") + FormatTitle(format) + ")"));
  Finish(ExitStatus::kOk);
}

// blank-check and checksum: the memory read (or the file's image), within
// the range when one is given; `size` is the memory's (or image's) size.
void PortRun::ReportImage(const std::string& what, size_t size) {
  const DataBuffer& buffer = host_.core().buffer();
  size_t from = 0;
  size_t count = std::min(size, buffer.size());
  if (options_.range) {
    if (const std::string error = RangeBeyond(*options_.range, count, what);
        !error.empty()) {
      return Finish(ExitStatus::kUsage, error);
    }
    from = options_.range->start;
    count = options_.range->length;
  }
  const uint8_t* data = buffer.data() + from;
  facts().AddNumber("bytes", static_cast<int64_t>(count));
  if (options_.range) {
    facts().AddNumber("start", static_cast<int64_t>(from));
  }
  if (options_.command == CliCommand::kChecksum) {
    const std::string crc = Crc32Text(Crc32(data, count));
    facts().Add("crc32", crc);
    Say(crc);
    return Finish(ExitStatus::kOk);
  }
  const std::optional<size_t> dirty = FirstNotBlank(data, count);
  facts().AddBool("blank", !dirty);
  if (!dirty) {
    Say(what + " чиста: " + std::to_string(count) + " байт FF.");
    return Finish(ExitStatus::kOk);
  }
  const uint32_t address = static_cast<uint32_t>(from + *dirty);
  char value[5];
  std::snprintf(value, sizeof value, "0x%02X", data[*dirty]);
  facts()
      .AddNumber("address", address)
      .Add("address_hex", Hex(address))
      .Add("value", value);
  Finish(
      ExitStatus::kVerifyMismatch,
      what + " не чиста: по адресу 0x" + Hex(address) + " байт " + value + ".");
}

void PortRun::ImageReady(bool numbered) {
  image_sha256_ = Sha256Hex(host_.core().buffer());
  if (numbered) serial_->PrepareImage(host_.core().buffer());
}

}  // namespace taktm
