// Mirrors every chip's memories and bits in a folder, so that a second run
// starts where the first stopped and tests can compare a chip with an image
// directly. Files per chip (stem from FileStem): <stem>.flash, <stem>.eeprom,
// <stem>.fuses and <stem>.locks (one byte 0 or 1 per bit). Every change is
// written before the reply that reports it is sent.
#ifndef TAKT_DEVSIM_MEMORY_FILES_H_
#define TAKT_DEVSIM_MEMORY_FILES_H_

#include <string>

#include "device_model.h"

namespace taktm::devsim {

class MemoryFiles : public MemoryObserver {
 public:
  MemoryFiles(std::string dir, DeviceModel& model)
      : dir_(std::move(dir)), model_(model) {}

  // Creates the folder if needed, loads what the files hold (a file shorter
  // than its memory fills the start; the rest stays blank) and writes every
  // file back at its memory's size. False with a message on failure.
  bool Open(std::string& error);

  void MemoryChanged(size_t chip, MemoryKind kind, uint32_t offset,
                     uint32_t count) override;
  // False after a write failed; the message tells which file.
  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }

  std::string PathOf(size_t chip, MemoryKind kind) const;

 private:
  bool Write(size_t chip, MemoryKind kind, uint32_t offset, uint32_t count,
             bool truncate);

  std::string dir_;
  DeviceModel& model_;
  std::string error_;
};

}  // namespace taktm::devsim

#endif  // TAKT_DEVSIM_MEMORY_FILES_H_
