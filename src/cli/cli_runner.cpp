#include "cli/cli_runner.h"

#include <QFileInfo>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "buffer/file_io.h"
#include "buffer/working_file.h"
#include "cli/byte_progress.h"
#include "cli/cli_host.h"
#include "cli/json_text.h"
#include "cli/port_listing.h"
#include "cli/progress_printer.h"
#include "cli/stored_settings.h"
#include "programming/opcodes.h"
#include "programming/programming_texts.h"

namespace taktm {
namespace {

// Box texts break lines with LF CR; one line reads better on a terminal.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n') c = ' ';
  }
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

std::string Hex(uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(value));
  return text;
}

// The refusal of an image larger than the memory it is meant for.
std::string ImageTooLargeText(size_t image, uint32_t memory, bool flash,
                              bool write) {
  return "Файл больше " + std::string(flash ? "памяти программ" : "EEPROM") +
         " микросхемы: " + std::to_string(image) + " байт, память " +
         std::to_string(memory) + " байт. " +
         (write ? "Ничего не записано." : "Ничего не сверено.");
}

class Runner {
 public:
  Runner(const CliOptions& options, const CliStreams& streams,
         const QElapsedTimer& clock)
      : options_(options),
        entry_(EntryOf(options.command)),
        streams_(streams),
        clock_(clock),
        settings_(ApplyOverrides(ReadStoredSettings(), options)),
        host_(settings_.checks),
        progress_(streams.err, streams.err_is_terminal) {
    host_.set_clock(&clock_);
    json_.Add("command", entry_.name);
  }

  ExitStatus Run();

 private:
  ChipProgrammer& programmer() { return host_.programmer(); }
  int64_t timeout_ms() const {
    return int64_t{options_.timeout_seconds} * 1000;
  }
  bool text() const { return !options_.json && !options_.quiet; }
  void Say(const std::string& line) {
    if (text()) *out_ << line << '\n';
  }
  void Note(const std::string& line) {
    if (!options_.quiet && !options_.json) {
      streams_.err << "takt-m-cli: " << line << '\n';
    }
  }
  // `detail`: a second line under the message.
  ExitStatus Finish(ExitStatus status, const std::string& message = {},
                    const std::string& detail = {});

  ExitStatus ListPorts();
  ExitStatus LoadInputFile();
  ExitStatus Discover();
  ExitStatus SelectChip();
  ExitStatus RunOperation();
  ExitStatus SaveRead();
  void ReportBits(BitKind kind);
  void ReportOps();

  const CliOptions& options_;
  const CommandEntry& entry_;
  const CliStreams& streams_;
  // Results: standard output, unless a read was saved there.
  std::ostream* out_ = &streams_.out;
  const QElapsedTimer& clock_;
  StoredSettings settings_;
  CliHost host_;
  ProgressPrinter progress_;
  ByteProgress bytes_;
  JsonObject json_;
  int chip_row_ = -1;
};

ExitStatus Runner::Finish(ExitStatus status, const std::string& message,
                          const std::string& detail) {
  progress_.End();
  if (options_.json) {
    json_.Add("status", ExitStatusName(status))
        .AddNumber("exit", static_cast<int>(status));
    if (!message.empty()) {
      json_.Add("message",
                OneLine(detail.empty() ? message : message + " " + detail));
    }
    std::vector<std::string> warnings = settings_.problems;
    for (const std::string& w : host_.warnings())
      warnings.push_back(OneLine(w));
    if (!warnings.empty()) json_.Add("warnings", warnings);
    json_.AddNumber("first_frame_ms", host_.first_write_ms());
    *out_ << json_.Text() << '\n';
  } else if (status != ExitStatus::kOk && !message.empty()) {
    streams_.err << "takt-m-cli: " << OneLine(message) << '\n';
    if (!detail.empty())
      streams_.err << "takt-m-cli: " << OneLine(detail) << '\n';
  }
  // Lines down as the window leaves them at close.
  if (host_.comm().IsOpen()) {
    host_.comm().SetLineSignal(kClearRts);
    host_.comm().SetLineSignal(kClearDtr);
  }
  out_->flush();
  return status;
}

// Needs no port and no device: what --port may name.
ExitStatus Runner::ListPorts() {
  const std::vector<SerialPortEntry> ports = ListSerialPorts();
  std::vector<JsonObject> list;
  for (const SerialPortEntry& port : ports) {
    Say(PortLine(port));
    JsonObject o;
    o.Add("name", port.name).Add("location", port.location);
    if (!port.description.empty()) o.Add("description", port.description);
    if (!port.manufacturer.empty()) o.Add("manufacturer", port.manufacturer);
    if (!port.serial_number.empty()) {
      o.Add("serial_number", port.serial_number);
    }
    if (port.vendor_id) o.Add("vendor_id", UsbIdText(*port.vendor_id));
    if (port.product_id) o.Add("product_id", UsbIdText(*port.product_id));
    list.push_back(o);
  }
  if (ports.empty()) Note("последовательных портов не найдено");
  json_.Add("ports", list);
  return Finish(ExitStatus::kOk);
}

// The input goes through the program's own file rules: the working file's
// load, Intel HEX by extension and the options Check4 and Check12.
ExitStatus Runner::LoadInputFile() {
  const std::string path = QFileInfo(QString::fromStdString(options_.file))
                               .absoluteFilePath()
                               .toStdString();
  WorkingFileController& file = host_.core().working_file();
  file.SetWorkingFile(path);
  const size_t warnings_before = host_.warnings().size();
  const LoadOutcome outcome = file.LoadFile();
  json_.Add("file", path);
  auto last_warning = [&](const char* fallback) {
    return host_.warnings().size() > warnings_before ? host_.warnings().back()
                                                     : std::string(fallback);
  };
  switch (outcome) {
    case LoadOutcome::kLoaded:
      break;
    case LoadOutcome::kNoSuchFile:
      return Finish(
          ExitStatus::kFileError,
          LoadFailureText(path, std::make_error_code(
                                    std::errc::no_such_file_or_directory)));
    case LoadOutcome::kTooLarge:
      return Finish(ExitStatus::kFileError,
                    "Файл слишком велик для буфера: " + path);
    case LoadOutcome::kRefused:
      return Finish(ExitStatus::kFileError,
                    last_warning("Файл не загружен") + " (" + path + ")");
    case LoadOutcome::kAbandoned:
      return Finish(ExitStatus::kFileError,
                    "В файле Intel HEX нет записи конца файла: " + path);
    case LoadOutcome::kFailed:
      return Finish(ExitStatus::kFileError, host_.error_reports().empty()
                                                ? "Файл не читается: " + path
                                                : host_.error_reports().back());
  }
  if (host_.core().buffer().size() == 0) {
    return Finish(ExitStatus::kFileError, "Файл пуст: " + path);
  }
  json_.AddNumber("bytes", static_cast<int64_t>(host_.core().buffer().size()));
  return ExitStatus::kOk;
}

ExitStatus Runner::Discover() {
  try {
    host_.Open(settings_.port);
  } catch (const ECommsError& error) {
    // The port's name goes after the message's first line; a second line
    // (why the port may not be opened) gets a line of its own.
    const std::string text = error.what();
    const size_t br = text.find("\n\r");
    return Finish(
        ExitStatus::kNoDevice,
        text.substr(0, br) + " (" + settings_.port.port.toStdString() + ")",
        br == std::string::npos ? std::string() : text.substr(br + 2));
  }
  programmer().FormShow();
  // Discovery is over when the queue has drained: the name, the about lines
  // and the chip list have arrived, or the retry limit emptied the queue.
  const bool drained =
      host_.RunUntil([&] { return host_.queue().empty(); }, timeout_ms());
  RunState state;
  state.drained = drained;
  state.timed_out = !drained;
  state.port_failed = host_.port_failed();
  state.warnings = host_.warnings();
  const RunVerdict verdict = JudgeRun(state);
  // A name alone is not enough: the retry limit may have cut the about
  // lines or the chip list short.
  if (verdict.status == ExitStatus::kOk &&
      programmer().caption() != kNotConnectedCaption) {
    json_.Add("device", programmer().caption());
    return ExitStatus::kOk;
  }
  // The retry limit and a closed port say more than silence does.
  if (verdict.status == ExitStatus::kDeviceFailure && drained) {
    return Finish(verdict.status, verdict.message);
  }
  if (state.port_failed) return Finish(ExitStatus::kNoDevice, verdict.message);
  return Finish(ExitStatus::kNoDevice, "Программатор не отвечает на порту " +
                                           settings_.port.port.toStdString());
}

ExitStatus Runner::SelectChip() {
  const std::vector<std::string>& rows = programmer().chip_rows();
  if (options_.chip) {
    chip_row_ = FindChipRow(*options_.chip, rows);
  } else if (rows.size() == 1) {
    chip_row_ = 0;
  }
  if (chip_row_ < 0) {
    std::string known;
    for (size_t i = 0; i < rows.size(); ++i) {
      known += (i ? ", " : "") + std::to_string(i) + " " + rows[i];
    }
    return Finish(
        ExitStatus::kUsage,
        (options_.chip ? "Нет микросхемы \"" + *options_.chip + "\""
                       : std::string("Не задана микросхема (--chip)")) +
            "; есть: " + known);
  }
  programmer().ListBox1Click(chip_row_);
  RunState state;
  state.drained =
      host_.RunUntil([&] { return host_.queue().empty(); }, timeout_ms());
  state.timed_out = !state.drained;
  state.device_lost = host_.watchdog_firings() > 0;
  state.port_failed = host_.port_failed();
  state.warnings = host_.warnings();
  const RunVerdict verdict = JudgeRun(state);
  if (verdict.status != ExitStatus::kOk) {
    return Finish(verdict.status, verdict.message);
  }
  json_.Add("chip", rows[static_cast<size_t>(chip_row_)])
      .AddNumber("chip_index", chip_row_);
  return ExitStatus::kOk;
}

void Runner::ReportOps() {
  ChipProgrammer& p = programmer();
  std::vector<JsonObject> operations;
  Say("Память программ: " + std::to_string(p.FlashSize()) + " байт");
  Say("EEPROM: " + std::to_string(p.EepromSize()) + " байт");
  Say("F1: " + std::to_string(p.SizeF1()));
  Say("Операции:");
  for (size_t k = 0; k < p.operation_rows().size(); ++k) {
    const int code = p.OperationCodes()[k];
    const char* command = CommandForOperation(code);
    Say("  " + std::to_string(code) + "\t" + p.operation_rows()[k] +
        (command ? std::string("\t") + command : std::string()));
    JsonObject op;
    op.AddNumber("code", code).Add("name", p.operation_rows()[k]);
    if (command) op.Add("command", command);
    operations.push_back(op);
  }
  json_.AddNumber("flash_size", p.FlashSize())
      .AddNumber("eeprom_size", p.EepromSize())
      .AddNumber("f1", p.SizeF1())
      .Add("operations", operations);
  for (BitKind kind : {BitKind::kLock, BitKind::kFuse}) {
    BitRows& rows = p.bits(kind);
    Say(kind == BitKind::kLock ? "LOCK биты:" : "FUSE биты:");
    std::vector<std::string> names;
    for (int i = 0; i < rows.count(); ++i) {
      Say("  " + std::to_string(i) + "\t" + rows.row(i).caption);
      names.push_back(rows.row(i).caption);
    }
    json_.Add(kind == BitKind::kLock ? "locks" : "fuses", names);
  }
}

void Runner::ReportBits(BitKind kind) {
  BitRows& rows = programmer().bits(kind);
  std::vector<JsonObject> bits;
  for (int i = 0; i < rows.count(); ++i) {
    Say(std::to_string(i) + "\t" + rows.row(i).caption + "\t" +
        (rows.row(i).ticked ? "1" : "0"));
    JsonObject bit;
    bit.AddNumber("index", i)
        .Add("name", rows.row(i).caption)
        .AddBool("ticked", rows.row(i).ticked);
    bits.push_back(bit);
  }
  json_.Add("bits", bits);
}

// A read is saved as the window saves the buffer: Intel HEX for the names
// the program reads as Intel HEX, raw otherwise, through the same writer.
ExitStatus Runner::SaveRead() {
  const DataBuffer& buffer = host_.core().buffer();
  const std::string path = options_.file;
  const bool intel_hex = IsIntelHexName(path, host_.Check4(), host_.Check12());
  // `read-flash /dev/stdout`: the image is the output, the rest goes aside.
  if (IsStandardOutput(path)) out_ = &streams_.err;
  const std::error_code error =
      SaveImage(path, buffer.data(), buffer.size(), intel_hex);
  json_.Add("file", path)
      .AddNumber("bytes", static_cast<int64_t>(buffer.size()));
  if (error) {
    return Finish(ExitStatus::kFileError, SaveFailureText(path, error));
  }
  Say("Прочитано " + std::to_string(buffer.size()) + " байт в " + path +
      (intel_hex ? " (Intel HEX)" : ""));
  return Finish(ExitStatus::kOk);
}

ExitStatus Runner::RunOperation() {
  ChipProgrammer& p = programmer();
  int operation_row = -1;
  for (size_t k = 0; k < p.operation_rows().size(); ++k) {
    if (p.OperationCodes()[k] == entry_.operation) {
      operation_row = static_cast<int>(k);
    }
  }
  if (operation_row < 0) {
    return Finish(ExitStatus::kUsage,
                  std::string("Операция \"") +
                      kOperationNames[static_cast<size_t>(entry_.operation)] +
                      "\" не разрешена для этой микросхемы");
  }
  // An image larger than the memory would be cut; refuse it before anything
  // reaches the chip. (The window's warning for this case says the part that
  // fits is written, which is not what happens here.)
  const bool flash = options_.command == CliCommand::kWriteFlash ||
                     options_.command == CliCommand::kVerifyFlash;
  const bool write = options_.command == CliCommand::kWriteFlash ||
                     options_.command == CliCommand::kWriteEeprom;
  if (entry_.file_is_input) {
    const uint32_t size = flash ? p.FlashSize() : p.EepromSize();
    if (host_.core().buffer().size() > size) {
      return Finish(
          ExitStatus::kFileError,
          ImageTooLargeText(host_.core().buffer().size(), size, flash, write));
    }
  }
  bool verify_expected = false;
  switch (options_.command) {
    case CliCommand::kWriteFlash:
      verify_expected = host_.Check(3) && p.IsOperationAllowed(OP_VERIFY_FLASH);
      break;
    case CliCommand::kWriteEeprom:
      verify_expected =
          host_.Check(7) && p.IsOperationAllowed(OP_VERIFY_EEPROM);
      break;
    case CliCommand::kVerifyFlash:
    case CliCommand::kVerifyEeprom:
      verify_expected = true;
      break;
    default:
      break;
  }
  // Bit writes: the ticks are set in the dialog's rows and "Записать"
  // queues them, as the user would do.
  std::vector<bool> ticks;
  const bool bit_write = entry_.takes_bits;
  const BitKind kind = options_.command == CliCommand::kWriteFuses ||
                               options_.command == CliCommand::kReadFuses
                           ? BitKind::kFuse
                           : BitKind::kLock;
  if (bit_write) {
    std::vector<std::string> names;
    for (int i = 0; i < p.bits(kind).count(); ++i) {
      names.push_back(p.bits(kind).row(i).caption);
    }
    std::string error;
    const auto parsed = ParseBitTicks(options_.bits, names, &error);
    if (!parsed) return Finish(ExitStatus::kUsage, error);
    ticks = *parsed;
  }

  host_.on_warning = [this](const std::string& text) {
    progress_.End();
    Note("предупреждение: " + OneLine(text));
  };
  QElapsedTimer operation_clock;
  operation_clock.start();
  const size_t warnings_before = host_.warnings().size();
  p.ListBox2Click(chip_row_, operation_row);
  // The write's reload may bring a file that has grown past the memory since
  // it was first checked; the window would write the part that fits. Nothing
  // has been sent yet (frames go out only on the device's acknowledgements,
  // inside the event loop), so the whole sequence can still be dropped.
  const std::vector<std::string>& warnings = host_.warnings();
  if (entry_.file_is_input &&
      std::find(warnings.begin() + static_cast<ptrdiff_t>(warnings_before),
                warnings.end(), kImageTooLarge) != warnings.end()) {
    host_.queue().ClearQueue();
    return Finish(ExitStatus::kFileError,
                  ImageTooLargeText(host_.core().buffer().size(),
                                    flash ? p.FlashSize() : p.EepromSize(),
                                    flash, write));
  }
  if (bit_write) {
    BitRows& rows = p.bits(kind);
    for (int i = 0; i < rows.count(); ++i) {
      rows.SetRowTicked(i, ticks[static_cast<size_t>(i)]);
    }
    p.Button1Click(kind);
  }
  // Progress in the data bytes of the whole sequence (writes and verifies
  // together), with the speed and the time left.
  if (!options_.quiet && (streams_.err_is_terminal || !options_.json)) {
    bytes_.Start(host_.queue());
    auto show = [this, &operation_clock] {
      const int64_t now = operation_clock.elapsed();
      progress_.Update(
          {bytes_.done(), bytes_.total(), bytes_.BytesPerSecond(now)}, now);
    };
    host_.on_progress = [this, show](int, int) {
      bytes_.Follow(host_.queue());
      show();
    };
    host_.on_frame_written = [this, &operation_clock] {
      bytes_.HeadSent(host_.queue(), operation_clock.elapsed());
    };
    progress_.Begin(kOperationNames[static_cast<size_t>(entry_.operation)]);
    show();
  }
  RunState state;
  state.drained =
      host_.RunUntil([&] { return host_.queue().empty(); }, timeout_ms());
  json_.AddNumber("operation_ms", operation_clock.elapsed());
  state.timed_out = !state.drained;
  state.device_lost = host_.watchdog_firings() > 0;
  state.port_failed = host_.port_failed();
  state.status_text = p.status_text();
  state.status_error = p.status_error();
  state.warnings = host_.warnings();
  state.verify_expected = verify_expected;
  progress_.End();
  host_.on_progress = nullptr;
  host_.on_frame_written = nullptr;

  const RunVerdict verdict = JudgeRun(state);
  if (!state.status_text.empty()) json_.Add("result", state.status_text);
  if (verdict.verify_address) {
    json_.AddNumber("address", *verdict.verify_address)
        .Add("address_hex", Hex(*verdict.verify_address));
  }
  if (verdict.status != ExitStatus::kOk) {
    return Finish(verdict.status, verdict.message);
  }
  switch (options_.command) {
    case CliCommand::kReadFlash:
    case CliCommand::kReadEeprom:
      return SaveRead();
    case CliCommand::kReadFuses:
    case CliCommand::kReadLocks:
    case CliCommand::kWriteFuses:
    case CliCommand::kWriteLocks:
      ReportBits(kind);
      break;
    case CliCommand::kWriteFlash:
    case CliCommand::kWriteEeprom:
      json_.AddBool("verified", verify_expected);
      Say(verify_expected ? state.status_text
                          : std::string("Записано без сверки."));
      break;
    default:
      if (!state.status_text.empty()) {
        Say(state.status_text);
      } else {
        Say("Выполнено.");
      }
      break;
  }
  return Finish(ExitStatus::kOk);
}

ExitStatus Runner::Run() {
  if (options_.command == CliCommand::kPorts) return ListPorts();
  for (const std::string& problem : settings_.problems) Note(problem);
  if (entry_.file_is_input) {
    if (const ExitStatus s = LoadInputFile(); s != ExitStatus::kOk) return s;
  }
  if (const ExitStatus s = Discover(); s != ExitStatus::kOk) return s;
  if (options_.command == CliCommand::kInfo) {
    Say(programmer().caption());
    for (const std::string& line : host_.about_lines()) Say(line);
    json_.Add("about", host_.about_lines());
    return Finish(ExitStatus::kOk);
  }
  if (options_.command == CliCommand::kChips) {
    std::vector<JsonObject> chips;
    const std::vector<std::string>& rows = programmer().chip_rows();
    for (size_t i = 0; i < rows.size(); ++i) {
      Say(std::to_string(i) + "\t" + rows[i]);
      JsonObject chip;
      chip.AddNumber("index", static_cast<int64_t>(i)).Add("name", rows[i]);
      chips.push_back(chip);
    }
    json_.Add("chips", chips);
    return Finish(ExitStatus::kOk);
  }
  if (const ExitStatus s = SelectChip(); s != ExitStatus::kOk) return s;
  if (options_.command == CliCommand::kOps) {
    ReportOps();
    return Finish(ExitStatus::kOk);
  }
  return RunOperation();
}

}  // namespace

ExitStatus RunCli(const CliOptions& options, const CliStreams& streams,
                  const QElapsedTimer& clock) {
  Runner runner(options, streams, clock);
  return runner.Run();
}

}  // namespace taktm
