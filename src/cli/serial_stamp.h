// A serial number in the image: its bytes as the chip holds them, the
// counter file's text, and the queued write and verify commands that carry
// the number's place, which get the number filled in just before the first
// of them goes out.
#ifndef TAKT_CLI_SERIAL_STAMP_H_
#define TAKT_CLI_SERIAL_STAMP_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_args.h"
#include "link/command_queue.h"

namespace taktm {

// The bytes of `value` at the number's place: binary (little-endian, or
// big-endian when asked), or
// decimal digits padded with '0' on the left. Nothing when it does not fit
// in `width`.
std::optional<std::vector<uint8_t>> EncodeSerial(uint64_t value, int width,
                                                 SerialFormat format,
                                                 bool big_endian = false);

// The largest number `width` bytes hold in `format`.
uint64_t MaxSerialValue(int width, SerialFormat format);

// The counter file's number: decimal digits, blanks and line ends around
// them allowed. Nothing for anything else, or a number beyond 64 bits.
std::optional<uint64_t> ParseCounterText(std::string_view text);

// The number's place in one memory, and the write and verify opcodes whose
// commands carry bytes of that memory.
struct SerialPlace {
  uint32_t address = 0;
  uint32_t width = 0;
  uint8_t write_opcode = 0;
  uint8_t verify_opcode = 0;
};

// Whether `command` writes or verifies any byte of the place.
bool CarriesSerial(const std::vector<uint8_t>& command,
                   const SerialPlace& place);
// Whether the command writes (not only verifies) a byte of the place.
bool WritesSerial(const std::vector<uint8_t>& command,
                  const SerialPlace& place);
// The command with the number's bytes put in wherever its data overlaps
// the place; others are returned unchanged.
std::vector<uint8_t> StampCommand(std::vector<uint8_t> command,
                                  const SerialPlace& place,
                                  const std::vector<uint8_t>& bytes);
// Whether the write commands among `commands` cover every byte of the
// place, so that the chip gets the whole number.
bool WritesCoverSerial(const std::vector<std::vector<uint8_t>>& commands,
                       const SerialPlace& place);

// Fills the number in, as one of the queue's listeners: just before the
// first command carrying its place goes out, so that a number is taken only
// for a chip about to receive it, into every queued command that carries
// it (tagged kSerial). A queue emptied by a failure passes its commands
// through without sending them, and takes no number.
class SerialStamper final : public QueueListener {
 public:
  // `take` gives the number's bytes, or nothing when no number could be
  // had: the queue is then cleared, so that the chip gets no number it
  // does not own.
  using Take = std::function<std::optional<std::vector<uint8_t>>()>;
  SerialStamper(SerialPlace place, Take take)
      : place_(place), take_(std::move(take)) {}

  // A command carrying the number went out.
  bool sent() const { return sent_; }

  void BeforeSend(CommandQueue& queue) override;
  void Sent(const QueueEntry& head, int head_sends) override;

 private:
  const SerialPlace place_;
  const Take take_;
  bool asked_ = false;
  bool sent_ = false;
};

}  // namespace taktm

#endif  // TAKT_CLI_SERIAL_STAMP_H_
