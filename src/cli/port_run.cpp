#include "cli/port_run.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "buffer/file_io.h"
#include "buffer/sha256.h"
#include "buffer/working_file.h"
#include "cli/checksum.h"
#include "cli/file_options.h"
#include "cli/frame_trace.h"
#include "cli/log_line.h"
#include "cli/memory_commands.h"
#include "cli/port_report.h"
#include "cli/record_stores.h"
#include "cli/stdio_files.h"
#include "cli/stop_signals.h"
#include "link/memory_command.h"
#include "programming/opcodes.h"
#include "programming/operation_table.h"
#include "programming/programming_texts.h"

namespace taktm {
namespace {

// The refusal of an image larger than the memory it is meant for.
std::string ImageTooLargeText(size_t image, uint32_t memory, bool flash,
                              bool write) {
  return "Файл больше " + std::string(flash ? "памяти программ" : "EEPROM") +
         " микросхемы: " + std::to_string(image) + " байт, память " +
         std::to_string(memory) + " байт. " +
         (write ? "Ничего не записано." : "Ничего не сверено.");
}

std::string Sha256Hex(const DataBuffer& buffer) {
  return taktm::Sha256Hex(buffer.data(), buffer.size());
}

}  // namespace

PortRun::PortRun(PortRunSetup setup)
    : options_(setup.options),
      entry_(EntryOf(setup.options.command)),
      streams_(setup.streams),
      clock_(setup.clock),
      solo_(setup.solo),
      log_(setup.log),
      counter_(setup.counter),
      settings_(std::move(setup.settings)),
      port_name_(settings_.port.port.toStdString()),
      host_(setup.options.command == CliCommand::kProgram
                ? ProgramRunOptions(settings_.options)
                : settings_.options),
      progress_(setup.streams.err, setup.streams.err_is_terminal, 30,
                setup.streams.err_columns) {
  host_.set_clock(&clock_);
  if (options_.command == CliCommand::kProgram) {
    settings_.options = ProgramRunOptions(settings_.options);
  }
  result_.port = port_name_;
  facts().Add("command", entry_.name);
  if (!solo_ || setup.port_found) facts().Add("port", port_name_);
  check_timer_.setSingleShot(true);
  check_timer_.setInterval(0);
  QObject::connect(&check_timer_, &QTimer::timeout, [this] { CheckWait(); });
  // A coarse timer may fire a little early; the check then waits on.
  deadline_timer_.setSingleShot(true);
  deadline_timer_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&deadline_timer_, &QTimer::timeout, [this] { CheckWait(); });
  host_.on_event = [this] {
    if (wait_then_) check_timer_.start();
  };
  if (FrameTrace* trace = setup.trace) {
    const std::string label = solo_ ? std::string() : port_name_;
    host_.on_wire = [this, trace, label](bool sent, const uint8_t* bytes,
                                         size_t count) {
      const int64_t us = clock_.nsecsElapsed() / 1000;
      if (sent) {
        trace->Sent(label, us, bytes, count);
      } else {
        trace->Received(label, us, bytes, count);
      }
    };
  }
}

void PortRun::Note(const std::string& line) {
  if (options_.quiet || options_.json) return;
  if (solo_) {
    streams_.err << "takt-m-cli: " << line << '\n';
  } else if (on_note) {
    on_note(port_name_ + ": " + line);
  }
}

void PortRun::Finish(ExitStatus status, std::string message,
                     std::string detail) {
  if (finished_) return;
  if (options_.command == CliCommand::kProgram) ProgramEnds(status, &message);
  finished_ = true;
  wait_then_ = nullptr;
  wait_done_ = nullptr;
  check_timer_.stop();
  deadline_timer_.stop();
  host_.on_progress = nullptr;
  host_.on_frame_written = nullptr;
  host_.before_send = nullptr;
  host_.on_warning = nullptr;
  host_.on_buffer_replaced = nullptr;
  // Nothing more goes to the device once the run is over (a deadline may
  // have left commands queued).
  host_.queue().ClearQueue();
  progress_.End();
  if (log_ != nullptr) {
    std::string logged =
        OneLine(detail.empty() ? message : message + " " + detail);
    const ExitStatus before = status;
    WriteLogLine(&status, &logged);
    if (status != before) {  // the line is not on the disk: no success
      message = logged;
      detail.clear();
    }
  }
  PortResult& r = result_;
  r.status = status;
  r.failure = message;
  r.detail = detail;
  r.message = OneLine(detail.empty() ? message : message + " " + detail);
  if (status != ExitStatus::kOk) r.lines.clear();  // no success was had
  if (!solo_ && status == ExitStatus::kOk && !r.lines.empty()) {
    r.message = r.lines.back();
  }
  r.bytes_done = bytes_.done();
  r.bytes_total = bytes_.total();
  r.ms = clock_.elapsed() - started_ms_;
  if (serial_) r.serial = serial_->serial();
  r.warnings = settings_.problems;
  for (const std::string& w : host_.warnings()) {
    r.warnings.push_back(OneLine(w));
  }
  r.first_frame_ms = host_.first_write_ms();
  if (solo_) PrintPortResult(r, options_, *out_, streams_.err);
  // Lines down as the window leaves them at close.
  if (host_.comm().IsOpen()) {
    host_.comm().SetLineSignal(kClearRts);
    host_.comm().SetLineSignal(kClearDtr);
  }
  out_->flush();
  if (on_finished) on_finished();
}

// The chip's line in the production log goes to the disk before the run
// reports the chip done; a run whose line could not be written has failed.
void PortRun::WriteLogLine(ExitStatus* status, std::string* message) {
  ChipRecord record = RecordOfThisChip();
  record.serials = options_.serial.has_value();
  if (serial_) record.serial = serial_->serial();
  if (stop_signal_ != 0) {
    record.signal = StopSignalName(stop_signal_);
    if (serial_ && serial_->serial()) record.serial_sent = serial_->sent();
  }
  record.status = *status;
  if (*status != ExitStatus::kOk) record.message = *message;
  if (*status == ExitStatus::kVerifyMismatch) {
    record.address = VerifyErrorAddress(programmer().status_text());
  }
  record.bytes = bytes_.done();
  record.duration_ms = clock_.elapsed() - started_ms_;
  const std::string error = log_->Write(record);
  if (!error.empty() && *status == ExitStatus::kOk) {
    *status = ExitStatus::kFileError;
    *message = error;
  } else if (!error.empty()) {
    Note(error);
  }
}

void PortRun::Wait(std::function<bool()> done, std::function<void(bool)> then) {
  wait_done_ = std::move(done);
  wait_then_ = std::move(then);
  wait_deadline_ = QDeadlineTimer(timeout_ms(), Qt::PreciseTimer);
  wait_firings_ = host_.watchdog_firings();
  deadline_timer_.start(
      static_cast<int>(std::min<int64_t>(timeout_ms(), INT32_MAX)));
  CheckWait();
}

void PortRun::CheckWait() {
  if (!wait_then_) return;
  bool done = wait_done_();
  if (!done && !wait_deadline_.hasExpired() &&
      host_.watchdog_firings() == wait_firings_ && !host_.port_failed()) {
    if (!deadline_timer_.isActive()) {
      deadline_timer_.start(static_cast<int>(
          std::clamp<int64_t>(wait_deadline_.remainingTime(), 1, INT32_MAX)));
    }
    return;
  }
  deadline_timer_.stop();
  check_timer_.stop();
  const std::function<void(bool)> then = std::move(wait_then_);
  wait_then_ = nullptr;
  wait_done_ = nullptr;
  then(done);
}

void PortRun::Start() {
  started_ms_ = clock_.elapsed();
  if (!NeedsDevice(options_)) {  // checksum FILE
    AddFileOptions();
    if (!LoadInputFile(options_.file, facts())) return;
    return ReportImage("Образ", host_.core().buffer().size());
  }
  if (options_.command == CliCommand::kProgram && !LoadProgramImages()) return;
  if (entry_.file_is_input) {
    AddFileOptions();
    if (!LoadInputFile(options_.file, facts())) return;
  }
  Discover();
}

// The input goes through the program's own file rules: the working file's
// load in the format --format gives or the content decides (the window's
// Check4 and Check12 play no part); "-" is standard input, read whole before
// anything is queued.
bool PortRun::LoadInputFile(const std::string& input, JsonObject& into) {
  const bool from_stdin = input == kStdioName;
  const std::string path = RecordedFileName(input);
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

void PortRun::Discover() {
  try {
    host_.Open(settings_.port);
  } catch (const ECommsError& error) {
    // The port's name goes after the message's first line; a second line
    // (why the port may not be opened) gets a line of its own.
    const std::string text = error.what();
    const size_t br = text.find("\n\r");
    return Finish(
        ExitStatus::kNoDevice, text.substr(0, br) + " (" + port_name_ + ")",
        br == std::string::npos ? std::string() : text.substr(br + 2));
  }
  programmer().FormShow();
  // Discovery is over when the queue has drained: the name, the about lines
  // and the chip list have arrived, or the retry limit emptied the queue.
  Wait([this] { return host_.queue().empty(); },
       [this](bool drained) { AfterDiscovery(drained); });
}

RunState PortRun::StateAfter(Step step, bool drained) {
  RunState state;
  state.drained = drained;
  state.timed_out = !drained;
  state.port_failed = host_.port_failed();
  state.warnings = host_.warnings();
  if (step == Step::kDiscovery) return state;
  state.device_lost = host_.watchdog_firings() > 0;
  if (step == Step::kChipSelection) return state;
  state.status_text = programmer().status_text();
  state.status_error = programmer().status_error();
  if (step == Step::kOperation) state.verify_expected = verify_expected_;
  return state;
}

void PortRun::AfterDiscovery(bool drained) {
  const RunState state = StateAfter(Step::kDiscovery, drained);
  const RunVerdict verdict = JudgeRun(state);
  // A name alone is not enough: the retry limit may have cut the about
  // lines or the chip list short.
  if (verdict.status != ExitStatus::kOk ||
      programmer().caption() == kNotConnectedCaption) {
    // The retry limit and a closed port say more than silence does.
    if (verdict.status == ExitStatus::kDeviceFailure && drained) {
      return Finish(verdict.status, verdict.message);
    }
    if (state.port_failed) {
      return Finish(ExitStatus::kNoDevice, verdict.message);
    }
    return Finish(ExitStatus::kNoDevice,
                  "Программатор не отвечает на порту " + port_name_);
  }
  device_name_ = programmer().caption();
  facts().Add("device", device_name_);
  if (options_.command == CliCommand::kInfo) {
    Say(programmer().caption());
    for (const std::string& line : host_.about_lines()) Say(line);
    facts().Add("about", host_.about_lines());
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
    facts().Add("chips", chips);
    return Finish(ExitStatus::kOk);
  }
  SelectChip();
}

void PortRun::SelectChip() {
  const std::vector<std::string>& rows = programmer().chip_rows();
  int row = -1;
  if (options_.chip) {
    row = FindChipRow(*options_.chip, rows);
  } else if (rows.size() == 1) {
    row = 0;
  }
  if (row < 0) {
    std::string known;
    for (size_t i = 0; i < rows.size(); ++i) {
      known += (i ? ", " : "") + std::to_string(i) + " " + rows[i];
    }
    const std::string what =
        !options_.chip ? std::string("Не задана микросхема (--chip)")
        : row == kAmbiguousChip ? "Микросхем с именем \"" + *options_.chip +
                                      "\" несколько, укажите номер"
                                : "Нет микросхемы \"" + *options_.chip + "\"";
    return Finish(ExitStatus::kUsage, what + "; есть: " + known);
  }
  programmer().ListBox1Click(row);
  Wait([this] { return host_.queue().empty(); },
       [this, row](bool drained) {
         chip_row_ = row;
         AfterChipSelection(drained);
       });
}

void PortRun::AfterChipSelection(bool drained) {
  const RunVerdict verdict =
      JudgeRun(StateAfter(Step::kChipSelection, drained));
  if (verdict.status != ExitStatus::kOk) {
    chip_row_ = -1;
    return Finish(verdict.status, verdict.message);
  }
  result_.chip = programmer().chip_rows()[static_cast<size_t>(chip_row_)];
  facts().Add("chip", result_.chip).AddNumber("chip_index", chip_row_);
  if (options_.command == CliCommand::kOps) {
    ReportOps();
    return Finish(ExitStatus::kOk);
  }
  if (options_.command == CliCommand::kProgram) return StartProgram();
  RunOperation();
}

void PortRun::ReportOps() {
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
  facts()
      .AddNumber("flash_size", p.FlashSize())
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
    facts().Add(kind == BitKind::kLock ? "locks" : "fuses", names);
  }
}

// The selected chip's list row of operation `code`; -1 when it has none.
int PortRun::ListRowOf(int code) {
  ChipProgrammer& p = programmer();
  for (size_t k = 0; k < p.operation_rows().size(); ++k) {
    if (p.OperationCodes()[k] == code) return static_cast<int>(k);
  }
  return -1;
}

bool PortRun::ReadBitsBack() {
  ChipProgrammer& p = programmer();
  const uint8_t read =
      bit_kind_ == BitKind::kFuse ? OP_READ_FUSES : OP_READ_LOCKS;
  const int read_row = ListRowOf(read);
  if (read_row < 0) return false;
  // A device that dropped the write and repeated an earlier reply would
  // otherwise pass the bits asked for off as the chip's.
  p.ListBox2Click(chip_row_, read_row);
  Wait([this] { return host_.queue().empty(); },
       [this](bool drained) { AfterReadBack(drained); });
  return true;
}

void PortRun::AfterReadBack(bool drained) {
  ChipProgrammer& p = programmer();
  const RunVerdict verdict = JudgeRun(StateAfter(Step::kReadBack, drained));
  if (verdict.status != ExitStatus::kOk) {
    return Finish(verdict.status, verdict.message);
  }
  ReportBits(bit_kind_);
  const BitRows& rows = p.bits(bit_kind_);
  for (int i = 0; i < rows.count(); ++i) {
    if (static_cast<size_t>(i) < ticks_.size() &&
        rows.row(i).ticked != ticks_[static_cast<size_t>(i)]) {
      return Finish(ExitStatus::kVerifyMismatch,
                    "Биты в микросхеме не совпадают с записанными: " +
                        rows.row(i).caption);
    }
  }
  Finish(ExitStatus::kOk);
}

void PortRun::ReportBits(BitKind kind) {
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
  facts().Add("bits", bits);
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

void PortRun::ImageReady() {
  image_sha256_ = Sha256Hex(host_.core().buffer());
  if (serial_) serial_->PrepareImage(host_.core().buffer());
}

void PortRun::FollowQueue() {
  bytes_.Follow(host_.queue());
  if (show_progress_) {
    const int64_t now = clock_.elapsed();
    progress_.Update(
        {bytes_.done(), bytes_.total(), bytes_.BytesPerSecond(now)}, now);
  }
  if (on_bytes) on_bytes();
}

void PortRun::RunOperation() {
  ChipProgrammer& p = programmer();
  operation_row_ = ListRowOf(OperationOf(options_));
  if (operation_row_ < 0) {
    return Finish(ExitStatus::kUsage,
                  std::string("Операция \"") +
                      OperationName(OperationOf(options_)) +
                      "\" не разрешена для этой микросхемы");
  }
  // An image larger than the memory would be cut; refuse it before anything
  // reaches the chip. (The window's warning for this case says the part that
  // fits is written, which is not what happens here.)
  const OperationRow& row = *FindOperation(OperationOf(options_));
  const bool flash = row.memory == OperationMemory::kFlash;
  const bool write = row.action == OperationAction::kWrite;
  const uint32_t memory = flash ? p.FlashSize() : p.EepromSize();
  if (options_.range) {
    std::string error = RangeBeyond(*options_.range, memory,
                                    flash ? "память программ" : "EEPROM");
    // The image's bytes start at its origin (--offset) and end at its size.
    const DataBuffer& image = host_.core().buffer();
    if (error.empty() && entry_.file_is_input &&
        (options_.range->start >= image.size() ||
         uint64_t{options_.range->start} + options_.range->length <=
             image.origin())) {
      error = "В образе (" + std::to_string(host_.core().buffer().size()) +
              " байт) нет байтов диапазона " + RangeText(*options_.range);
    }
    if (!error.empty()) return Finish(ExitStatus::kUsage, error);
    p.set_range(ChipProgrammer::ChunkRange{options_.range->start,
                                           options_.range->length});
  }
  if (entry_.file_is_input && host_.core().buffer().size() > memory) {
    return Finish(
        ExitStatus::kFileError,
        ImageTooLargeText(host_.core().buffer().size(), memory, flash, write));
  }
  if (options_.serial) {
    std::function<std::string(uint64_t)> log_started;
    if (log_ != nullptr) {
      log_started = [this](uint64_t number) {
        return WriteStartedLine(number);
      };
    }
    serial_.emplace(*options_.serial, *counter_, std::move(log_started));
    if (const std::string error =
            serial_->Place(row, memory, flash ? "память программ" : "EEPROM");
        !error.empty()) {
      return Finish(ExitStatus::kUsage, error);
    }
  }
  // The same decision the write's sequence takes.
  verify_expected_ = p.QueuesVerify(OperationOf(options_));
  // Bit writes: the ticks are set in the dialog's rows and "Записать"
  // queues them, as the user would do.
  const bool bit_write = entry_.takes_bits;
  bit_kind_ = row.memory == OperationMemory::kFuseBits ? BitKind::kFuse
                                                       : BitKind::kLock;
  if (bit_write) {
    std::vector<std::string> names;
    for (int i = 0; i < p.bits(bit_kind_).count(); ++i) {
      names.push_back(p.bits(bit_kind_).row(i).caption);
    }
    std::string error;
    const auto parsed = ParseBitTicks(options_.bits, names, &error);
    if (!parsed) return Finish(ExitStatus::kUsage, error);
    ticks_ = *parsed;
  }

  host_.on_warning = [this](const std::string& text) {
    progress_.End();
    Note("предупреждение: " + OneLine(text));
  };
  operation_started_ms_ = clock_.elapsed();
  const size_t warnings_before = host_.warnings().size();
  // The image as the write will use it: also after the write's reload,
  // which replaces the buffer inside the handler.
  if (entry_.file_is_input) {
    ImageReady();
    host_.on_buffer_replaced = [this] { ImageReady(); };
  }
  p.ListBox2Click(chip_row_, operation_row_);
  host_.on_buffer_replaced = nullptr;
  // The write's reload may bring a file that has grown past the memory since
  // it was first checked; the window would write the part that fits. Nothing
  // has been sent yet (frames go out only on the device's acknowledgements,
  // inside the event loop), so the whole sequence can still be dropped.
  const std::vector<std::string>& warnings = host_.warnings();
  if (entry_.file_is_input &&
      std::find(warnings.begin() + static_cast<ptrdiff_t>(warnings_before),
                warnings.end(), kImageTooLarge) != warnings.end()) {
    host_.queue().ClearQueue();
    return Finish(
        ExitStatus::kFileError,
        ImageTooLargeText(host_.core().buffer().size(), memory, flash, write));
  }
  // Never a chip without its number: its whole place must be written.
  if (serial_ && !serial_->Covered(host_.queue())) {
    host_.queue().ClearQueue();
    return Finish(ExitStatus::kDeviceFailure,
                  "Место номера не попало в записываемые данные. Ничего не "
                  "записано.");
  }
  if (bit_write) {
    BitRows& rows = p.bits(bit_kind_);
    for (int i = 0; i < rows.count(); ++i) {
      rows.SetRowTicked(i, ticks_[static_cast<size_t>(i)]);
    }
    p.Button1Click(bit_kind_);
  }
  // Progress in the data bytes of the whole sequence (writes and verifies
  // together), with the speed and the time left.
  show_progress_ =
      solo_ && !options_.quiet && (streams_.err_is_terminal || !options_.json);
  bytes_.Start(host_.queue());
  host_.on_progress = [this](int, int) { FollowQueue(); };
  host_.on_frame_written = [this] {
    bytes_.HeadSent(host_.queue(), clock_.elapsed());
    if (serial_) serial_->FrameWritten();
  };
  if (serial_) {
    host_.before_send = [this] {
      serial_->StampIfDue(host_.queue(), host_.core().buffer());
    };
  }
  if (show_progress_) {
    progress_.Begin(OperationName(OperationOf(options_)));
    const int64_t now = clock_.elapsed();
    progress_.Update(
        {bytes_.done(), bytes_.total(), bytes_.BytesPerSecond(now)}, now);
  }
  Wait([this] { return host_.queue().empty(); },
       [this](bool drained) { AfterOperation(drained); });
}

void PortRun::AfterOperation(bool drained) {
  ChipProgrammer& p = programmer();
  facts().AddNumber("operation_ms", clock_.elapsed() - operation_started_ms_);
  const RunState state = StateAfter(Step::kOperation, drained);
  progress_.End();
  host_.on_progress = nullptr;
  host_.on_frame_written = nullptr;
  host_.before_send = nullptr;
  if (serial_ && !serial_->error().empty()) {
    return Finish(ExitStatus::kFileError, serial_->error());
  }

  const RunVerdict verdict = JudgeRun(state);
  if (!state.status_text.empty()) facts().Add("result", state.status_text);
  if (verdict.verify_address) {
    facts()
        .AddNumber("address", *verdict.verify_address)
        .Add("address_hex", Hex(*verdict.verify_address));
  }
  if (verdict.status != ExitStatus::kOk) {
    return Finish(verdict.status, verdict.message);
  }
  switch (options_.command) {
    case CliCommand::kReadFlash:
    case CliCommand::kReadEeprom:
      return SaveRead();
    case CliCommand::kBlankCheck:
    case CliCommand::kChecksum:
      return ReportImage(
          options_.memory == MemoryTarget::kFlash ? "Память программ"
                                                  : "EEPROM",
          options_.memory == MemoryTarget::kFlash ? p.FlashSize()
                                                  : p.EepromSize());
    case CliCommand::kWriteFuses:
    case CliCommand::kWriteLocks:
      if (ReadBitsBack()) return;
      ReportBits(bit_kind_);
      break;
    case CliCommand::kReadFuses:
    case CliCommand::kReadLocks:
      ReportBits(bit_kind_);
      break;
    case CliCommand::kWriteFlash:
    case CliCommand::kWriteEeprom:
      facts().AddBool("verified", verify_expected_);
      Say(verify_expected_ ? state.status_text
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
  Finish(ExitStatus::kOk);
}

}  // namespace taktm
