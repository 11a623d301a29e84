#include "cli/serial_job.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "buffer/data_buffer.h"
#include "cli/record_stores.h"
#include "cli/serial_form.h"
#include "link/command_queue.h"
#include "link/memory_command.h"
#include "programming/operation_table.h"

namespace taktm {

SerialJob::SerialJob(const SerialOption& option, SerialSource& counter,
                     std::function<std::string(uint64_t)> log_started)
    : option_(option),
      counter_(counter),
      log_started_(std::move(log_started)) {}

std::string SerialJob::Place(const OperationRow& row, uint32_t memory,
                             const std::string& memory_name) {
  if (uint64_t{option_.address} + static_cast<uint64_t>(option_.width) >
      memory) {
    return "Номер по адресу " + Hex(option_.address) + " (" +
           std::to_string(option_.width) + " байт) не помещается в " +
           memory_name + " (" + std::to_string(memory) + " байт)";
  }
  // The write's own opcode and its verify's carry the number.
  place_ = SerialPlace{option_.address, static_cast<uint32_t>(option_.width),
                       row.code, static_cast<uint8_t>(row.verify_code)};
  return {};
}

void SerialJob::PrepareImage(DataBuffer& buffer) const {
  if (!place_) return;
  const SerialPlace& place = *place_;
  const size_t end = size_t{place.address} + place.width;
  // The number's place is written even below a raw image's origin.
  const size_t origin = std::min(buffer.origin(), size_t{place.address});
  if (buffer.size() < end || origin != buffer.origin()) {
    std::vector<uint8_t> image = buffer.bytes();
    if (image.size() < end) image.resize(end, 0xFF);
    buffer.Assign(std::move(image), origin);
  }
  // Any placeholder but all 0xFF: the chunk must not be skipped.
  const std::vector<uint8_t> zero = *SerialBytes(option_, 0);
  buffer.WriteAt(place.address, zero.data(), zero.size());
}

bool SerialJob::Covered(const CommandQueue& queue) const {
  if (!place_ || queue.empty()) return true;
  std::vector<std::vector<uint8_t>> commands;
  for (size_t i = 0; i < queue.count(); ++i) {
    commands.push_back(queue.entry(i));
  }
  return WritesCoverSerial(commands, *place_);
}

void SerialJob::Follow(CommandQueue& queue, DataBuffer& buffer) {
  if (!place_) return;
  Unfollow(queue);
  stamper_.emplace(*place_, [this, &buffer] { return Take(buffer); });
  queue.AddListener(&*stamper_);
}

void SerialJob::Unfollow(CommandQueue& queue) {
  if (stamper_) queue.RemoveListener(&*stamper_);
}

std::optional<std::vector<uint8_t>> SerialJob::Take(DataBuffer& buffer) {
  // With a log, the number's line is on the disk before the number is.
  BeforeTake before;
  if (log_started_) before = log_started_;
  const CounterResult taken = counter_.Take(SerialMaxValue(option_), before);
  if (!taken.value) {
    error_ = taken.error;
    return std::nullopt;  // the stamper clears the queue
  }
  serial_ = taken.value;
  std::vector<uint8_t> bytes = *SerialBytes(option_, *serial_);
  buffer.WriteAt(place_->address, bytes.data(), bytes.size());
  return bytes;
}

}  // namespace taktm
