// The programmer as the link sees it: a catalogue of chips, each with its
// memories and bits in RAM, and one reply payload for every command payload.
// No I/O here, so tests drive it directly.
#ifndef TAKT_DEVSIM_DEVICE_MODEL_H_
#define TAKT_DEVSIM_DEVICE_MODEL_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "chip_catalogue.h"

namespace taktm::devsim {

// The largest data block in a read reply: opcode, address and count take 6
// of the 255 payload bytes.
inline constexpr uint32_t kMaxReadCount = 249;
// The most bit states a fuse or lock read reply carries: opcode and count
// take 2 of the 255 payload bytes. A chip may have up to 255 bits.
inline constexpr size_t kMaxBitStates = 253;

enum class MemoryKind { kFlash, kEeprom, kFuses, kLocks };

// What one chip of the catalogue holds; bits are 0 or 1 per byte.
struct ChipState {
  std::vector<uint8_t> flash;
  std::vector<uint8_t> eeprom;
  std::vector<uint8_t> fuses;
  std::vector<uint8_t> locks;

  std::vector<uint8_t>& Of(MemoryKind kind);
};

// Told about every change, so the memories can be mirrored in files.
class MemoryObserver {
 public:
  virtual ~MemoryObserver() = default;
  virtual void MemoryChanged(size_t chip, MemoryKind kind, uint32_t offset,
                             uint32_t count) = 0;
};

struct ModelOptions {
  // Program memory writes can only clear bits; only an erase sets them.
  bool flash_needs_erase = true;
  // The chip in the socket answers with a signature other than its type's.
  bool wrong_signature = false;
  // A read reply carries at most this many bytes, whatever was asked: a
  // device with a smaller buffer than the program's chunks.
  uint32_t max_read_count = kMaxReadCount;
};

class DeviceModel {
 public:
  DeviceModel(Catalogue catalogue, ModelOptions options);

  // Acts on one command (opcode first) and returns the reply payload: the
  // opcode and every field the command table lists for it. Unknown opcodes
  // get the opcode alone. Missing argument bytes count as 0.
  std::vector<uint8_t> HandleCommand(const uint8_t* payload, size_t length);

  void set_observer(MemoryObserver* observer) { observer_ = observer; }
  const Catalogue& catalogue() const { return catalogue_; }
  // A test may change a chip or the options between commands.
  std::vector<ChipSpec>& chips() { return catalogue_.chips; }
  ModelOptions& options() { return options_; }
  ChipState& chip_state(size_t index) { return states_[index]; }
  const ChipState& chip_state(size_t index) const { return states_[index]; }
  // Index of the selected chip, -1 before a valid selection.
  int selected_chip() const { return selected_; }

 private:
  class Reply;
  const ChipSpec* Chip() const;
  bool Allows(int operation_code) const;
  void Changed(MemoryKind kind, uint32_t offset, uint32_t count);
  void Erase(MemoryKind kind);
  void ReadMemory(MemoryKind kind, int operation_code, uint32_t address,
                  uint32_t count, Reply& reply);
  void WriteMemory(MemoryKind kind, int operation_code, uint32_t address,
                   const uint8_t* data, uint32_t count);
  bool VerifyMemory(MemoryKind kind, int operation_code, uint32_t address,
                    const uint8_t* data, uint32_t count, uint32_t given);

  Catalogue catalogue_;
  ModelOptions options_;
  std::vector<ChipState> states_;
  int selected_ = -1;
  MemoryObserver* observer_ = nullptr;
};

}  // namespace taktm::devsim

#endif  // TAKT_DEVSIM_DEVICE_MODEL_H_
