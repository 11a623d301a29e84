#include "cli/serial_stamp.h"

#include <algorithm>

#include "link/memory_command.h"

namespace taktm {
namespace {

// The part of the place within the command's data: [from, to) in chip
// addresses; empty (from == to) when they do not meet.
struct Overlap {
  uint64_t from = 0;
  uint64_t to = 0;
};

Overlap OverlapOf(const std::vector<uint8_t>& command,
                  const SerialPlace& place) {
  const std::optional<MemoryCommand> c = DecodeMemoryCommand(command);
  if (!c || c->data_size == 0 ||
      (c->opcode != place.write_opcode && c->opcode != place.verify_opcode)) {
    return {};
  }
  const uint64_t start = c->address;
  const uint64_t end = start + c->data_size;
  const uint64_t from = std::max<uint64_t>(start, place.address);
  const uint64_t to =
      std::min<uint64_t>(end, uint64_t{place.address} + place.width);
  return from < to ? Overlap{from, to} : Overlap{};
}

}  // namespace

std::optional<std::vector<uint8_t>> EncodeSerial(uint64_t value, int width,
                                                 SerialFormat format,
                                                 bool big_endian) {
  if (width < 1) return std::nullopt;
  std::vector<uint8_t> bytes(static_cast<size_t>(width));
  const uint64_t base = format == SerialFormat::kBinary ? 256 : 10;
  uint64_t rest = value;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto digit = static_cast<uint8_t>(rest % base);
    rest /= base;
    if (format == SerialFormat::kBinary) {
      bytes[i] = digit;  // least significant first
    } else {
      bytes[bytes.size() - 1 - i] = static_cast<uint8_t>('0' + digit);
    }
  }
  if (rest != 0) return std::nullopt;
  if (big_endian && format == SerialFormat::kBinary) {
    std::reverse(bytes.begin(), bytes.end());
  }
  return bytes;
}

uint64_t MaxSerialValue(int width, SerialFormat format) {
  const uint64_t base = format == SerialFormat::kBinary ? 256 : 10;
  uint64_t max = 0;
  for (int i = 0; i < width; ++i) {
    if (max > (UINT64_MAX - (base - 1)) / base) return UINT64_MAX;
    max = max * base + (base - 1);
  }
  return max;
}

std::optional<uint64_t> ParseCounterText(std::string_view text) {
  const auto blank = [](char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
  };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  if (text.empty() || text.size() > 20) return std::nullopt;
  uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<uint64_t>(c - '0');
    if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

bool CarriesSerial(const std::vector<uint8_t>& command,
                   const SerialPlace& place) {
  const Overlap o = OverlapOf(command, place);
  return o.from < o.to;
}

bool WritesSerial(const std::vector<uint8_t>& command,
                  const SerialPlace& place) {
  return !command.empty() && command[0] == place.write_opcode &&
         CarriesSerial(command, place);
}

std::vector<uint8_t> StampCommand(std::vector<uint8_t> command,
                                  const SerialPlace& place,
                                  const std::vector<uint8_t>& bytes) {
  const Overlap o = OverlapOf(command, place);
  const uint64_t start =
      o.from < o.to ? DecodeMemoryCommand(command)->address : 0;
  for (uint64_t a = o.from; a < o.to; ++a) {
    const uint64_t k = a - place.address;
    if (k < bytes.size()) command[kMemoryDataAt + (a - start)] = bytes[k];
  }
  return command;
}

bool WritesCoverSerial(const std::vector<std::vector<uint8_t>>& commands,
                       const SerialPlace& place) {
  std::vector<bool> covered(place.width, false);
  for (const std::vector<uint8_t>& command : commands) {
    if (command.empty() || command[0] != place.write_opcode) continue;
    const Overlap o = OverlapOf(command, place);
    for (uint64_t a = o.from; a < o.to; ++a) covered[a - place.address] = true;
  }
  return std::all_of(covered.begin(), covered.end(), [](bool c) { return c; });
}

void SerialStamper::BeforeSend(CommandQueue& queue) {
  if (asked_ || queue.empty() || !CarriesSerial(queue.entry(0), place_)) {
    return;
  }
  asked_ = true;
  const std::optional<std::vector<uint8_t>> bytes = take_();
  if (!bytes) {
    queue.ClearQueue();
    return;
  }
  for (size_t i = 0; i < queue.count(); ++i) {
    if (CarriesSerial(queue.entry(i), place_)) {
      queue.ReplaceEntry(i, StampCommand(queue.entry(i), place_, *bytes),
                         CommandTag::kSerial);
    }
  }
}

void SerialStamper::Sent(const QueueEntry& head, int) {
  if (head.tag == CommandTag::kSerial) sent_ = true;
}

}  // namespace taktm
