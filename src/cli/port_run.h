// One port's run of takt-m-cli: its own core, serial port component and
// watchdog (a CliHost), driven by events rather than by waiting: each step
// (load the file, open the port and discover the device, select the chip,
// run the operation) queues its commands and returns; the next step starts
// when the core's queue has drained, and a failure (deadline, watchdog,
// port error) ends the run. Several runs thus share one event loop. All the
// state of a port lives here.
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
#include "cli/gang_report.h"
#include "cli/json_text.h"
#include "cli/log_line.h"
#include "cli/progress_printer.h"
#include "cli/run_verdict.h"
#include "cli/serial_stamp.h"
#include "cli/stored_settings.h"

namespace taktm {

class ChipLog;
class FrameTrace;
class SerialSource;

struct CliStreams {
  std::ostream& out;     // results
  std::ostream& err;     // messages and progress
  bool err_is_terminal;  // progress as a bar redrawn in place
  // The width of that terminal, asked at each redraw; none: 80 columns.
  std::function<int()> err_columns = nullptr;
};

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
  ExitStatus status() const { return status_; }
  // The JSON object of the run, complete once it has finished.
  const JsonObject& json() const { return json_; }
  PortResult result() const;
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
  bool text() const { return !options_.json && !options_.quiet; }
  // A result line, printed when the run ends (after the log has it); with
  // several ports the last one is the port's message.
  void Say(const std::string& line) { said_.push_back(line); }
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
  int ListRowOf(int code);

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

  void ListPorts();
  bool LoadInputFile();
  void AddFileOptions();
  void Discover();
  void AfterDiscovery(bool drained);
  void SelectChip();
  void AfterChipSelection(bool drained);
  void RunOperation();
  void FollowQueue();
  void AfterOperation(bool drained);
  void SaveRead();
  void ReportImage(const std::string& what, size_t size);
  void ReportBits(BitKind kind);
  void ReportOps();
  // After a bit write: reads the bits back when the chip allows it; false
  // when it does not (the bits asked for are reported as they are).
  bool ReadBitsBack();
  void AfterReadBack(bool drained);

  // The serial number: the image gets the number's place (filled up to it
  // with 0xFF, a placeholder in it so that its chunk is written); the
  // number itself is taken when the first command carrying it is next to
  // go out, and put into every queued command that carries it.
  void ImageReady();
  void StampSerialIfDue();

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
  ByteProgress bytes_;
  JsonObject json_;
  std::vector<std::string> said_;
  int chip_row_ = -1;
  std::string chip_name_;    // once selected
  std::string device_name_;  // once discovered
  int64_t started_ms_ = 0;
  int64_t operation_started_ms_ = 0;

  // The operation.
  int operation_row_ = -1;
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

  // The serial number and the image's fingerprint.
  std::optional<SerialPlace> serial_place_;
  std::optional<uint64_t> serial_;
  std::string serial_error_;  // taking the number failed
  bool serial_sent_ = false;  // the command carrying it went out
  int stop_signal_ = 0;       // the run was interrupted by this signal
  std::string image_sha256_;

  bool finished_ = false;
  ExitStatus status_ = ExitStatus::kOk;
  std::string message_;
};

}  // namespace taktm

#endif  // TAKT_CLI_PORT_RUN_H_
