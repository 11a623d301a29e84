// The parts of a port's run that keep every number on record: the line
// written as a number is taken, and the end of a run a signal stopped.
#include <chrono>

#include "cli/log_line.h"
#include "cli/port_run.h"
#include "cli/record_stores.h"
#include "cli/stdio_files.h"
#include "cli/stop_signals.h"

namespace taktm {

void PortRun::Interrupt(int signal) {
  if (finished_) return;
  stop_signal_ = signal;
  Finish(StopStatus(signal),
         std::string("Прервано сигналом ") + StopSignalName(signal));
}

ChipRecord PortRun::RecordOfThisChip() const {
  ChipRecord record;
  record.time = std::chrono::system_clock::now();
  record.port = port_name_;
  record.device = device_name_;
  record.chip = result_.chip;
  record.command = entry_.name;
  if (options_.serial && options_.serial->format == SerialFormat::kText) {
    record.serial_template = options_.serial->text;
  }
  if (entry_.takes_file) {
    record.file = RecordedFileName(options_.file);
    record.sha256 = image_sha256_;
  }
  if (options_.command == CliCommand::kProgram) {
    record.images = images_;
    record.fuses = options_.fuses;
    record.locks = options_.locks;
    // The database has one column for the files and one for their
    // fingerprints.
    for (const ChipRecord::Image& image : images_) {
      const std::string space = record.file.empty() ? "" : " ";
      record.file += space + image.memory + ":" + image.file;
      if (!image.sha256.empty()) {
        record.sha256 += (record.sha256.empty() ? "" : " ") + image.memory +
                         ":" + image.sha256;
      }
    }
    record.step = failed_step_;
  }
  return record;
}

std::string PortRun::WriteStartedLine(uint64_t number) {
  ChipRecord record = RecordOfThisChip();
  record.started = true;
  record.serials = true;
  record.serial = number;
  return log_->Write(record);
}

}  // namespace taktm
