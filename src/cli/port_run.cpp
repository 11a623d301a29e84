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
#include "cli/mismatch_report.h"
#include "cli/port_report.h"
#include "cli/record_stores.h"
#include "cli/serial_form.h"
#include "cli/stdio_files.h"
#include "cli/stop_signals.h"
#include "link/memory_command.h"
#include "programming/opcodes.h"
#include "programming/operation_table.h"

namespace taktm {
namespace {

// The settings the run works with, `program`'s options as its steps need
// them (program_steps.h).
StoredSettings RunSettings(StoredSettings settings, CliCommand command) {
  if (command == CliCommand::kProgram) {
    settings.options = ProgramRunOptions(settings.options);
  }
  return settings;
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
      settings_(RunSettings(std::move(setup.settings), setup.options.command)),
      port_name_(settings_.port.port.toStdString()),
      host_(settings_.options),
      progress_(setup.streams.err, setup.streams.err_is_terminal, 30,
                setup.streams.err_columns) {
  host_.set_clock(&clock_);
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
  host_.queue().AddListener(&answer_check_);
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

PortRun::~PortRun() {
  StopFollowingQueue();
  host_.queue().RemoveListener(&answer_check_);
}

void PortRun::StopFollowingQueue() {
  bytes_.Stop();
  bytes_.on_change = nullptr;
  if (serial_) serial_->Unfollow(host_.queue());
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
  StopFollowingQueue();
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
  if (r.serial) r.serial_text = SerialText(*options_.serial, *r.serial);
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
    const Outcome* shown = ShownOutcome(host_.outcomes());
    if (shown != nullptr && shown->kind == OutcomeKind::kVerifyMismatch) {
      record.address = shown->address;
    }
    record.mismatch = programmer().last_mismatch();
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

// A step started here may itself end in an answered command's removal
// (never synchronously today); that one is left to the event loop's check
// rather than nesting steps.
void PortRun::CheckAfterAnswer() {
  if (!wait_then_) return;
  if (answer_checking_) {
    check_timer_.start();
    return;
  }
  answer_checking_ = true;
  CheckWait();
  answer_checking_ = false;
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
  programmer().StartDiscovery();
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
  state.outcomes = host_.outcomes();
  if (step == Step::kDiscovery) return state;
  state.device_lost = host_.watchdog_firings() > 0;
  if (step == Step::kChipSelection) return state;
  if (step == Step::kOperation) state.verify_expected = verify_expected_;
  return state;
}

void PortRun::AfterDiscovery(bool drained) {
  const RunState state = StateAfter(Step::kDiscovery, drained);
  const RunVerdict verdict = JudgeRun(state);
  // A name alone is not enough: the retry limit may have cut the about
  // lines or the chip list short.
  if (verdict.status != ExitStatus::kOk || !programmer().DeviceFound()) {
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
  programmer().SelectChip(row);
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

bool PortRun::ReadBitsBack() {
  ChipProgrammer& p = programmer();
  const uint8_t read =
      bit_kind_ == BitKind::kFuse ? OP_READ_FUSES : OP_READ_LOCKS;
  if (!p.IsOperationAllowed(read)) return false;
  // A device that dropped the write and repeated an earlier reply would
  // otherwise pass the bits asked for off as the chip's.
  p.RunOperation(chip_row_, read);
  Wait([this] { return host_.queue().empty(); },
       [this](bool drained) { AfterReadBack(drained); });
  return true;
}

void PortRun::AfterReadBack(bool drained) {
  const RunVerdict verdict = JudgeRun(StateAfter(Step::kReadBack, drained));
  if (verdict.status != ExitStatus::kOk) {
    return Finish(verdict.status, verdict.message);
  }
  ReportBits(bit_kind_);
  if (FinishedByBitsMismatch()) return;
  Finish(ExitStatus::kOk);
}

// The write's reload may bring a file that has grown past the memory since
// it was first checked; the window would write the part that fits. Nothing
// has been sent yet (frames go out only on the device's acknowledgements,
// inside the event loop), so the whole sequence can still be dropped.
bool PortRun::RunWithImage(int code, bool numbered) {
  const size_t outcomes_before = host_.outcomes().size();
  ImageReady(numbered);
  host_.on_buffer_replaced = [this, numbered] { ImageReady(numbered); };
  programmer().RunOperation(chip_row_, code);
  host_.on_buffer_replaced = nullptr;
  const std::vector<Outcome>& outcomes = host_.outcomes();
  return std::any_of(outcomes.begin() + static_cast<ptrdiff_t>(outcomes_before),
                     outcomes.end(), [](const Outcome& o) {
                       return o.kind == OutcomeKind::kImageTooLarge;
                     });
}

bool PortRun::FinishedByBitsMismatch() {
  const BitRows& rows = programmer().bits(bit_kind_);
  for (int i = 0; i < rows.count(); ++i) {
    if (static_cast<size_t>(i) < ticks_.size() &&
        rows.row(i).ticked != ticks_[static_cast<size_t>(i)]) {
      Finish(ExitStatus::kVerifyMismatch,
             "Биты в микросхеме не совпадают с записанными: " +
                 rows.row(i).caption);
      return true;
    }
  }
  return false;
}

void PortRun::BeginOperation() {
  host_.on_warning = [this](const std::string& text) {
    progress_.End();
    Note("предупреждение: " + OneLine(text));
  };
  show_progress_ =
      solo_ && !options_.quiet && (streams_.err_is_terminal || !options_.json);
  operation_started_ms_ = clock_.elapsed();
}

bool PortRun::ParseTicks(const std::string& bits, BitKind kind,
                         std::vector<bool>* ticks) {
  const BitRows& rows = programmer().bits(kind);
  std::vector<std::string> names;
  for (int i = 0; i < rows.count(); ++i) names.push_back(rows.row(i).caption);
  std::string error;
  const auto parsed = ParseBitTicks(bits, names, &error);
  if (!parsed) {
    Finish(ExitStatus::kUsage, error);
    return false;
  }
  *ticks = *parsed;
  return true;
}

bool PortRun::StartSerial(int code) {
  ChipProgrammer& p = programmer();
  const OperationRow& row = *FindOperation(code);
  const bool flash = row.memory == OperationMemory::kFlash;
  std::function<std::string(uint64_t)> log_started;
  if (log_ != nullptr) {
    log_started = [this](uint64_t number) { return WriteStartedLine(number); };
  }
  serial_.emplace(*options_.serial, *counter_, std::move(log_started));
  const std::string error = serial_->Place(
      row, flash ? p.FlashSize() : p.EepromSize(), MemoryName(flash));
  if (error.empty()) return true;
  Finish(ExitStatus::kUsage, error);
  return false;
}

void PortRun::WriteTicks() {
  BitRows& rows = programmer().bits(bit_kind_);
  for (int i = 0; i < rows.count(); ++i) {
    rows.SetRowTicked(i, ticks_[static_cast<size_t>(i)]);
  }
  programmer().WriteBits(bit_kind_);
}

std::optional<RunState> PortRun::EndStep(bool drained) {
  RunState state = StateAfter(Step::kOperation, drained);
  progress_.End();
  StopFollowingQueue();
  if (serial_ && !serial_->error().empty()) {
    Finish(ExitStatus::kFileError, serial_->error());
    return std::nullopt;
  }
  return state;
}

// The queue as a step's commands leave it: the byte progress (already
// started), the serial number when this step carries it, and last the
// wait's check; the progress line titled `title`.
void PortRun::FollowStep(const std::string& title, bool numbered) {
  bytes_.on_change = [this] { FollowQueue(); };
  if (numbered) serial_->Follow(host_.queue(), host_.core().buffer());
  // The wait's check, which may end the run, comes after the others have
  // seen the answered command leave.
  host_.queue().RemoveListener(&answer_check_);
  host_.queue().AddListener(&answer_check_);
  if (show_progress_) {
    progress_.Begin(title);
    const int64_t now = clock_.elapsed();
    progress_.Update(
        {bytes_.done(), bytes_.total(), bytes_.BytesPerSecond(now)}, now);
  }
}

void PortRun::FollowQueue() {
  if (show_progress_) {
    const int64_t now = clock_.elapsed();
    progress_.Update(
        {bytes_.done(), bytes_.total(), bytes_.BytesPerSecond(now)}, now);
  }
  if (on_bytes) on_bytes();
}

void PortRun::RunOperation() {
  ChipProgrammer& p = programmer();
  if (!p.IsOperationAllowed(OperationOf(options_))) {
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
    std::string error = RangeBeyond(*options_.range, memory, MemoryName(flash));
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
  if (options_.serial && !StartSerial(OperationOf(options_))) return;
  // The same decision the write's sequence takes.
  verify_expected_ = p.QueuesVerify(OperationOf(options_));
  // Bit writes: the ticks are set in the dialog's rows and "Записать"
  // queues them, as the user would do.
  const bool bit_write = entry_.takes_bits;
  bit_kind_ = row.memory == OperationMemory::kFuseBits ? BitKind::kFuse
                                                       : BitKind::kLock;
  if (bit_write && !ParseTicks(options_.bits, bit_kind_, &ticks_)) return;

  BeginOperation();
  if (!entry_.file_is_input) {
    p.RunOperation(chip_row_, OperationOf(options_));
  } else if (RunWithImage(OperationOf(options_), serial_.has_value())) {
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
  if (bit_write) WriteTicks();
  // Progress in the data bytes of the whole sequence (writes and verifies
  // together), with the speed and the time left.
  bytes_.Start(host_.queue());
  FollowStep(OperationName(OperationOf(options_)), serial_.has_value());
  Wait([this] { return host_.queue().empty(); },
       [this](bool drained) { AfterOperation(drained); });
}

// An operation's failure ends the run: the verify's address and the
// failing chunk as read back go with it (under the error, in the JSON and
// the log).
bool PortRun::FinishedByFailure(const RunVerdict& verdict) {
  if (verdict.verify_address) {
    facts()
        .AddNumber("address", *verdict.verify_address)
        .Add("address_hex", Hex(*verdict.verify_address));
  }
  const std::optional<MismatchDetails>& details = programmer().last_mismatch();
  if (verdict.status == ExitStatus::kVerifyMismatch && details) {
    facts().Add("mismatches", MismatchJson(*details));
    Finish(verdict.status, verdict.message, MismatchText(*details));
    return true;
  }
  if (verdict.status != ExitStatus::kOk) {
    Finish(verdict.status, verdict.message);
    return true;
  }
  return false;
}

void PortRun::AfterOperation(bool drained) {
  ChipProgrammer& p = programmer();
  facts().AddNumber("operation_ms", clock_.elapsed() - operation_started_ms_);
  const std::optional<RunState> state = EndStep(drained);
  if (!state) return;
  const RunVerdict verdict = JudgeRun(*state);
  if (!verdict.shown.empty()) facts().Add("result", verdict.shown);
  if (FinishedByFailure(verdict)) return;
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
      Say(verify_expected_ ? verdict.shown
                           : std::string("Записано без сверки."));
      break;
    default:
      if (!verdict.shown.empty()) {
        Say(verdict.shown);
      } else {
        Say("Выполнено.");
      }
      break;
  }
  Finish(ExitStatus::kOk);
}

}  // namespace taktm
