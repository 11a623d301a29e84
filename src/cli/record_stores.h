// Where a run keeps its records: the serial counter and the production log,
// each either a file on this machine or a table of a database the stations
// of a line share. A port's run sees only these two interfaces.
#ifndef TAKT_CLI_RECORD_STORES_H_
#define TAKT_CLI_RECORD_STORES_H_

#include <cstdint>
#include <memory>
#include <string>

#include "cli/log_line.h"
#include "cli/production_log.h"
#include "cli/serial_counter.h"

namespace taktm {

class SerialSource {
 public:
  virtual ~SerialSource() = default;
  // The number that would come next, without taking it: the check made
  // before anything reaches a chip.
  virtual CounterResult Peek() = 0;
  // Takes the next number, at most `max_value`; `before` records it first
  // (under the counter's lock), and its error refuses the number.
  virtual CounterResult Take(uint64_t max_value, const BeforeTake& before) = 0;
  // The counter as a message names it.
  virtual std::string name() const = 0;
};

class ChipLog {
 public:
  virtual ~ChipLog() = default;
  // The record is kept (on the disk, or committed) when this returns no
  // error; on an error it is not kept at all.
  virtual std::string Write(const ChipRecord& record) = 0;
};

// The file forms.
class FileSerialSource : public SerialSource {
 public:
  // `step`: the counter moves on by this for each number (":step=N").
  explicit FileSerialSource(std::string path, uint64_t step = 1)
      : path_(std::move(path)), step_(step) {}
  CounterResult Peek() override { return PeekCounter(path_); }
  CounterResult Take(uint64_t max_value, const BeforeTake& before) override {
    return TakeSerial(path_, max_value, before, step_);
  }
  std::string name() const override { return "\"" + path_ + "\""; }

 private:
  std::string path_;
  uint64_t step_;
};

class FileChipLog : public ChipLog {
 public:
  std::string Open(const std::string& path) { return file_.Open(path); }
  std::string Write(const ChipRecord& record) override {
    return file_.Append(ChipRecordLine(record));
  }

 private:
  ProductionLog file_;
};

}  // namespace taktm

#endif  // TAKT_CLI_RECORD_STORES_H_
