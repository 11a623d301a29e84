// One port's run of takt-m-cli: its own core, serial port component and
// watchdog (a CliHost), driven by events rather than by waiting: each step
// (load the file, open the port and discover the device, select the chip,
// run the operation) queues its commands and returns; the next step starts
// when the core's queue has drained, and a failure (deadline, watchdog,
// port error) ends the run. Several runs thus share one event loop. The
// steps end in the port's result (port_result.h), which the report renders
// (port_report.h); the serial number is a job of its own (serial_job.h).
#ifndef TAKT_CLI_PORT_RUN_H_
#define TAKT_CLI_PORT_RUN_H_

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/byte_progress.h"
#include "cli/cli_args.h"
#include "cli/cli_host.h"
#include "cli/cli_streams.h"
#include "cli/log_line.h"
#include "cli/port_result.h"
#include "cli/program_steps.h"
#include "cli/progress_printer.h"
#include "cli/run_verdict.h"
#include "cli/serial_job.h"
#include "cli/stored_settings.h"

namespace taktm {

class ChipLog;
class FrameTrace;
class SerialSource;

struct PortRunSetup {
  const CliOptions& options;
  const CliStreams& streams;
  // Runs since the process started; the time to the first frame sent is
  // measured from it.
  const QElapsedTimer& clock;
  StoredSettings settings;  // with this run's port
  // Alone on the command line: the run prints its results, messages and
  // progress itself. Otherwise it only reports them through the callbacks.
  bool solo = true;
  ChipLog* log = nullptr;           // --log
  SerialSource* counter = nullptr;  // --serial
  FrameTrace* trace = nullptr;      // --trace
  // The port was found (--port auto, usb-serial:): the JSON names it.
  bool port_found = false;
};

class PortRun {
 public:
  explicit PortRun(PortRunSetup setup);
  ~PortRun();
  PortRun(const PortRun&) = delete;
  PortRun& operator=(const PortRun&) = delete;

  // Runs up to the first wait, or to the end.
  void Start();

  bool finished() const { return finished_; }
  ExitStatus status() const { return result_.status; }
  // What the run came to, complete once it has finished.
  const PortResult& result() const { return result_; }
  const ByteProgress& bytes() const { return bytes_; }
  const std::string& port_name() const { return port_name_; }

  // A stop request (`signal`): the run ends now, its queue cleared, with
  // its line in the log saying so.
  void Interrupt(int signal);

  // Called once, when the run has finished.
  std::function<void()> on_finished;
  // Not solo: the data bytes moved.
  std::function<void()> on_bytes;
  // Not solo: a message for standard error (without the program's name).
  std::function<void(const std::string&)> on_note;

 private:
  ChipProgrammer& programmer() { return host_.programmer(); }
  int64_t timeout_ms() const {
    return int64_t{options_.timeout_seconds} * 1000;
  }
  // A result line, printed when the run ends (after the log has it); with
  // several ports the last one is the port's message.
  void Say(const std::string& line) { result_.lines.push_back(line); }
  // What the steps found, for the JSON object.
  JsonObject& facts() { return result_.facts; }
  void Note(const std::string& line);
  // `detail`: a second line under the message.
  void Finish(ExitStatus status, std::string message = {},
              std::string detail = {});
  void WriteLogLine(ExitStatus* status, std::string* message);
  // The log's line for a number about to be taken; the error text, empty
  // when it is on the disk.
  std::string WriteStartedLine(uint64_t number);
  // What every record of this chip says: when, where, which chip and file.
  ChipRecord RecordOfThisChip() const;
  // The step a wait ended, and what the verdict on it takes into account.
  enum class Step { kDiscovery, kChipSelection, kOperation, kReadBack };
  RunState StateAfter(Step step, bool drained);

  // Calls `then` with true once `done` holds, or with false when the
  // deadline passes, the watchdog fires or the port fails first.
  void Wait(std::function<bool()> done, std::function<void(bool)> then);
  void CheckWait();
  // The wait checked inside the handling of a reply, as its command leaves
  // the queue: the next step's commands then go out on the acknowledgement
  // right behind that reply instead of on the device's next idle one.
  void CheckAfterAnswer();
  class AnswerCheck final : public QueueListener {
   public:
    explicit AnswerCheck(PortRun& run) : run_(run) {}
    void Removed(const QueueEntry&, bool answered) override {
      if (answered) run_.CheckAfterAnswer();
    }

   private:
    PortRun& run_;
  };

  // Loads `file` as the image, its facts (file, format, bytes) into `into`.
  bool LoadInputFile(const std::string& file, JsonObject& into);
  void AddFileOptions();
  void Discover();
  void AfterDiscovery(bool drained);
  void SelectChip();
  void AfterChipSelection(bool drained);
  void RunOperation();
  void FollowQueue();
  void FollowStep(const std::string& title, bool numbered);
  void AfterOperation(bool drained);
  // Ends the run when `verdict` is a failure; whether it did.
  bool FinishedByFailure(const RunVerdict& verdict);
  void SaveRead();
  void ReportImage(const std::string& what, size_t size);
  void ReportBits(BitKind kind);
  void ReportOps();
  // After a bit write: reads the bits back when the chip allows it; false
  // when it does not (the bits asked for are reported as they are).
  bool ReadBitsBack();
  void AfterReadBack(bool drained);
  // Ends the run when the bits read back differ from `ticks_`; whether it
  // did.
  bool FinishedByBitsMismatch();

  // Shared by the single operation and the program's steps. Each that
  // returns false has ended the run.
  // Warning boxes as notes, whether a progress line shows, the clock.
  void BeginOperation();
  // `bits` ("NAME,NAME") as ticks of the chip's rows of `kind`.
  bool ParseTicks(const std::string& bits, BitKind kind,
                  std::vector<bool>* ticks);
  // The serial number's job for the write `code`, its place checked
  // against the memory the write fills.
  bool StartSerial(int code);
  // `ticks_` set in the rows of `bit_kind_`; "Записать" queues them, as the
  // user would do.
  void WriteTicks();
  // Runs the write or verify `code` with the image as it will use it, also
  // after its reload (ImageReady); whether the reload found the image cut
  // to fit the memory.
  bool RunWithImage(int code, bool numbered);
  // A step's wait over: its state, the progress line ended and the queue
  // no longer followed; nothing when the serial number failed.
  std::optional<RunState> EndStep(bool drained);

  // The image as the write will use it: its fingerprint, and the serial
  // number's place when this write carries it.
  void ImageReady(bool numbered);
  // The byte progress and the serial number leave the queue.
  void StopFollowingQueue();

  // program (port_run_program.cpp): the images loaded before the port is
  // opened, then after the chip selection the steps one after another.
  bool LoadProgramImages();
  void StartProgram();
  void RunProgramStep();
  bool QueueMemoryStep(ProgramStep step, int code);
  void QueueBitStep(ProgramStep step, int code);
  void AfterProgramStep(bool drained);
  void AfterProgramReadBack(bool drained);
  void NextProgramStep();
  // At the run's end: the steps done, the images and the failed step in the
  // facts, the step named in a failure's message.
  void ProgramEnds(ExitStatus status, std::string* message);

  const CliOptions& options_;
  const CommandEntry& entry_;
  const CliStreams& streams_;
  const QElapsedTimer& clock_;
  const bool solo_;
  ChipLog* const log_;
  SerialSource* const counter_;
  StoredSettings settings_;
  const std::string port_name_;
  // Results: standard output, unless a read was saved there.
  std::ostream* out_ = &streams_.out;
  CliHost host_;
  ProgressPrinter progress_;
  ByteProgress bytes_{[this] { return clock_.elapsed(); }};
  PortResult result_;
  int chip_row_ = -1;
  std::string device_name_;  // once discovered
  int64_t started_ms_ = 0;
  int64_t operation_started_ms_ = 0;

  // The operation.
  bool verify_expected_ = false;
  bool show_progress_ = false;
  BitKind bit_kind_ = BitKind::kLock;
  std::vector<bool> ticks_;

  // The wait.
  std::function<bool()> wait_done_;
  std::function<void(bool)> wait_then_;
  QDeadlineTimer wait_deadline_;
  int wait_firings_ = 0;
  QTimer check_timer_;     // a check after the events that may end a wait
  QTimer deadline_timer_;  // the wait's deadline
  AnswerCheck answer_check_{*this};
  bool answer_checking_ = false;  // a step runs from inside a reply

  // The serial number (--serial) and the image's fingerprint.
  std::optional<SerialJob> serial_;
  int stop_signal_ = 0;  // the run was interrupted by this signal
  std::string image_sha256_;

  // program: the plan, the step under way, the images (as the log names
  // them) and their facts, the ticks asked for.
  std::vector<ProgramStep> plan_;
  size_t step_ = 0;
  bool step_started_ = false;
  std::vector<ProgramStep> steps_done_;
  std::vector<ChipRecord::Image> images_;
  std::vector<JsonObject> image_facts_;
  std::vector<size_t> image_sizes_;
  std::vector<bool> fuse_ticks_;
  std::vector<bool> lock_ticks_;
  std::string failed_step_;  // its word, once a failure stopped the run

  bool finished_ = false;
};

}  // namespace taktm

#endif  // TAKT_CLI_PORT_RUN_H_
