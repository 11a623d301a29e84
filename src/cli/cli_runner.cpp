#include "cli/cli_runner.h"

#include <QEventLoop>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "buffer/file_io.h"
#include "buffer/working_file.h"
#include "cli/file_roles.h"
#include "cli/frame_trace.h"
#include "cli/gang_report.h"
#include "cli/json_text.h"
#include "cli/memory_commands.h"
#include "cli/port_probe.h"
#include "cli/ports_command.h"
#include "cli/record_setup.h"
#include "cli/stop_signals.h"
#include "cli/stored_settings.h"
#include "programming/operation_table.h"

namespace taktm {
namespace {

// A failure found before any port was opened: one message, or one object.
ExitStatus FailEarly(const CliOptions& options, const CliStreams& streams,
                     ExitStatus status, const std::string& message) {
  if (options.json) {
    JsonObject o;
    o.Add("command", EntryOf(options.command).name)
        .Add("status", ExitStatusName(status))
        .AddNumber("exit", static_cast<int>(status))
        .Add("message", message);
    streams.out << o.Text() << '\n' << std::flush;
  } else {
    streams.err << "takt-m-cli: " << message << '\n';
  }
  return status;
}

// Several ports: one line per port as it finishes, the bytes of all of
// them in one progress line, then a summary or the array of objects.
class Gang {
 public:
  Gang(const CliOptions& options, const CliStreams& streams,
       std::vector<std::unique_ptr<PortRun>>& runs)
      : options_(options),
        streams_(streams),
        runs_(runs),
        label_(options.command == CliCommand::kProgram
                   ? "Программирование"
                   : OperationName(EntryOf(options.command).operation)),
        progress_(streams.err, streams.err_is_terminal, 30,
                  streams.err_columns),
        show_progress_(!options.quiet &&
                       (streams.err_is_terminal || !options.json)) {
    if (show_progress_) progress_.Begin(label_);
  }

  void Progress(int64_t now) {
    if (!show_progress_) return;
    ProgressFigures f;
    std::optional<int64_t> first;
    for (const auto& run : runs_) {
      // A port that has finished moves no more bytes, whatever it queued.
      f.done += run->bytes().done();
      f.total += run->finished() ? run->bytes().done() : run->bytes().total();
      const auto sent = run->bytes().first_sent_ms();
      if (sent && (!first || *sent < *first)) first = sent;
    }
    if (first && f.done > 0 && now > *first) {
      f.bytes_per_second = static_cast<double>(f.done) * 1000.0 /
                           static_cast<double>(now - *first);
    }
    progress_.Update(f, now);
  }

  // A message of one port for standard error.
  void Note(const std::string& text) {
    BreakProgress();
    streams_.err << "takt-m-cli: " << text << '\n' << std::flush;
  }

  void Finished(const PortRun& run) {
    if (options_.json) return;
    const PortResult& r = run.result();
    if (options_.quiet) {
      if (r.status != ExitStatus::kOk) {
        streams_.err << "takt-m-cli: " << r.port << ": " << r.message << '\n'
                     << std::flush;
      }
      return;
    }
    BreakProgress();
    streams_.out << PortResultLine(r, options_.serial.has_value()) << '\n'
                 << std::flush;
  }

  void Summary() {
    progress_.End();
    std::vector<PortResult> results;
    for (const auto& run : runs_) results.push_back(run->result());
    if (options_.json) {
      streams_.out << GangJson(results) << '\n' << std::flush;
      return;
    }
    if (options_.quiet) return;
    streams_.out << GangSummary(results) << '\n' << std::flush;
  }

 private:
  // A bar on a terminal is ended before other lines and drawn anew after.
  void BreakProgress() {
    if (!show_progress_ || !streams_.err_is_terminal) return;
    progress_.End();
    progress_.Begin(label_);
  }

  const CliOptions& options_;
  const CliStreams& streams_;
  std::vector<std::unique_ptr<PortRun>>& runs_;
  const std::string label_;
  ProgressPrinter progress_;
  const bool show_progress_;
};

// The trace goes to its file through the program's save rules once the runs
// are over; a trace that could not be written fails a run that succeeded.
ExitStatus SaveTrace(const CliOptions& options, const CliStreams& streams,
                     const FrameTrace& trace) {
  const std::string text = trace.Text();
  const std::error_code error =
      SaveFile(options.trace, reinterpret_cast<const uint8_t*>(text.data()),
               text.size());
  if (!error) return ExitStatus::kOk;
  streams.err << "takt-m-cli: " << SaveFailureText(options.trace, error)
              << '\n';
  return ExitStatus::kFileError;
}

}  // namespace

ExitStatus RunCli(const CliOptions& options, const CliStreams& streams,
                  const QElapsedTimer& clock) {
  const StoredSettings settings = ApplyOverrides(
      options.defaults ? DefaultSettings() : ReadStoredSettings(), options);
  if (options.command == CliCommand::kPorts) {
    return RunPortsCommand(options, settings, streams);
  }
  if (!options.quiet && !options.json) {
    for (const std::string& problem : settings.problems) {
      streams.err << "takt-m-cli: " << problem << '\n';
    }
  }
  if (const std::string shared = SharedFileError(options); !shared.empty()) {
    return FailEarly(options, streams, ExitStatus::kUsage, shared);
  }
  // --port auto and usb-serial: the port is found before any file is opened.
  std::vector<std::string> ports = options.ports;
  if (ports.empty()) ports.push_back(settings.port.port.toStdString());
  const std::vector<std::string> asked = ports;
  if (const PortChoice choice =
          NeedsDevice(options)
              ? ResolvePorts(ports, settings.port, options.probe_ms)
              : PortChoice{};
      choice.status != ExitStatus::kOk) {
    return FailEarly(options, streams, choice.status, choice.message);
  }
  for (size_t i = 0; i < ports.size(); ++i) {
    if (ports[i] != asked[i] && !options.quiet && !options.json) {
      streams.err << "takt-m-cli: " << asked[i] << ": порт " << ports[i]
                  << '\n';
    }
  }
  // Ctrl-C, SIGTERM and SIGHUP end the runs in progress in the event loop,
  // each with its line in the log, instead of killing the process between
  // a number taken and its record.
  std::vector<std::unique_ptr<PortRun>> runs;
  const StopSignals stop([&runs](int signal) {
    for (const auto& run : runs) run->Interrupt(signal);
  });
  RecordStores stores;
  if (const std::string error = OpenRecordStores(options, &stores);
      !error.empty()) {
    return FailEarly(options, streams, ExitStatus::kFileError, error);
  }

  const bool solo = ports.size() == 1;
  FrameTrace trace;
  for (size_t i = 0; i < ports.size(); ++i) {
    StoredSettings own = settings;
    own.port.port = QString::fromStdString(ports[i]);
    runs.push_back(std::make_unique<PortRun>(PortRunSetup{
        options, streams, clock, std::move(own), solo, stores.log.get(),
        stores.counter.get(), options.trace.empty() ? nullptr : &trace,
        ports[i] != asked[i]}));
  }
  std::optional<Gang> gang;
  if (!solo) gang.emplace(options, streams, runs);

  QEventLoop loop;
  size_t finished = 0;
  bool looping = false;
  for (const auto& run : runs) {
    PortRun* r = run.get();
    r->on_finished = [&, r] {
      if (gang) {
        gang->Finished(*r);
        gang->Progress(clock.elapsed());
      }
      if (++finished == runs.size() && looping) loop.quit();
    };
    if (gang) {
      r->on_bytes = [&] { gang->Progress(clock.elapsed()); };
      r->on_note = [&](const std::string& text) { gang->Note(text); };
    }
  }
  // Each port starts at once; a port that fails never stops the others.
  for (const auto& run : runs) run->Start();
  if (finished < runs.size()) {
    looping = true;
    loop.exec();
  }
  std::vector<ExitStatus> statuses;
  for (const auto& run : runs) statuses.push_back(run->status());
  if (!options.trace.empty())
    statuses.push_back(SaveTrace(options, streams, trace));
  if (gang) gang->Summary();
  return WorstStatus(statuses);
}

}  // namespace taktm
