#include "device_model.h"

#include <algorithm>
#include <string>

#include "link/memory_command.h"
#include "opcodes.h"
#include "programming/cp1251.h"

namespace taktm::devsim {

std::vector<uint8_t>& ChipState::Of(MemoryKind kind) {
  switch (kind) {
    case MemoryKind::kFlash:
      return flash;
    case MemoryKind::kEeprom:
      return eeprom;
    case MemoryKind::kFuses:
      return fuses;
    case MemoryKind::kLocks:
      break;
  }
  return locks;
}

// Builds one reply payload.
class DeviceModel::Reply {
 public:
  explicit Reply(uint8_t opcode) { bytes_.push_back(opcode); }
  void Byte(uint8_t b) { bytes_.push_back(b); }
  void Bytes(const uint8_t* data, size_t count) {
    bytes_.insert(bytes_.end(), data, data + count);
  }
  void Int32(uint32_t v) {
    uint8_t bytes[4];
    WriteLe32(v, bytes);
    Bytes(bytes, sizeof bytes);
  }
  // Length byte and Windows-1251 characters; the catalogue was validated, so
  // every text converts and fits.
  void Text(const std::string& utf8) {
    std::string encoded;
    EncodeCp1251(utf8, encoded);
    Byte(static_cast<uint8_t>(encoded.size()));
    Bytes(reinterpret_cast<const uint8_t*>(encoded.data()), encoded.size());
  }
  // The states of the first bits, as many as a reply can carry.
  void Bits(const std::vector<uint8_t>* states) {
    const size_t n = states ? std::min(states->size(), kMaxBitStates) : 0;
    Byte(static_cast<uint8_t>(n));
    if (n > 0) Bytes(states->data(), n);
  }
  std::vector<uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
};

namespace {

// Command arguments, with bytes beyond the end of the command read as 0.
class Args {
 public:
  Args(const uint8_t* payload, size_t length)
      : payload_(payload), length_(length) {}
  uint8_t Byte(size_t at) const { return at < length_ ? payload_[at] : 0; }
  uint32_t Int32(size_t at) const {
    const uint8_t bytes[4] = {Byte(at), Byte(at + 1), Byte(at + 2),
                              Byte(at + 3)};
    return ReadLe32(bytes);
  }
  // Data bytes from `at`, at most `count` of them.
  const uint8_t* Data(size_t at) const {
    return payload_ + std::min(at, length_);
  }
  uint32_t DataCount(size_t at) const {
    return at < length_ ? static_cast<uint32_t>(length_ - at) : 0;
  }

 private:
  const uint8_t* payload_;
  size_t length_;
};

const std::string& NameAt(const std::vector<BitSpec>* bits, size_t index) {
  static const std::string kNone;
  return bits && index < bits->size() ? (*bits)[index].name : kNone;
}

}  // namespace

DeviceModel::DeviceModel(Catalogue catalogue, ModelOptions options)
    : catalogue_(std::move(catalogue)), options_(options) {
  for (const ChipSpec& chip : catalogue_.chips) {
    ChipState state;
    state.flash.assign(chip.flash_size, 0xFF);
    state.eeprom.assign(chip.eeprom_size, 0xFF);
    for (const BitSpec& fuse : chip.fuses)
      state.fuses.push_back(fuse.factory_state);
    state.locks.assign(chip.locks.size(), 0);
    states_.push_back(std::move(state));
  }
}

const ChipSpec* DeviceModel::Chip() const {
  return selected_ < 0 ? nullptr : &catalogue_.chips[selected_];
}

bool DeviceModel::Allows(int operation_code) const {
  return Chip() != nullptr && Chip()->Allows(operation_code);
}

void DeviceModel::Changed(MemoryKind kind, uint32_t offset, uint32_t count) {
  if (observer_ && count > 0)
    observer_->MemoryChanged(selected_, kind, offset, count);
}

void DeviceModel::Erase(MemoryKind kind) {
  std::vector<uint8_t>& memory = states_[selected_].Of(kind);
  const uint8_t blank = kind == MemoryKind::kLocks ? 0x00 : 0xFF;
  std::fill(memory.begin(), memory.end(), blank);
  Changed(kind, 0, static_cast<uint32_t>(memory.size()));
}

void DeviceModel::ReadMemory(MemoryKind kind, int operation_code,
                             uint32_t address, uint32_t count, Reply& reply) {
  // The reply says how many bytes it carries: none past the end of the
  // memory, none for an operation the chip does not allow.
  uint32_t available = 0;
  const uint8_t* data = nullptr;
  if (Allows(operation_code)) {
    const std::vector<uint8_t>& memory = states_[selected_].Of(kind);
    if (address < memory.size()) {
      available = static_cast<uint32_t>(memory.size()) - address;
      data = memory.data() + address;
    }
  }
  const uint32_t n = std::min({count, available, options_.max_read_count});
  reply.Int32(address);
  reply.Byte(static_cast<uint8_t>(n));
  if (n > 0) reply.Bytes(data, n);
}

void DeviceModel::WriteMemory(MemoryKind kind, int operation_code,
                              uint32_t address, const uint8_t* data,
                              uint32_t count) {
  if (!Allows(operation_code)) return;
  std::vector<uint8_t>& memory = states_[selected_].Of(kind);
  if (address >= memory.size()) return;
  const uint32_t n =
      std::min(count, static_cast<uint32_t>(memory.size()) - address);
  const bool and_in = kind == MemoryKind::kFlash && options_.flash_needs_erase;
  for (uint32_t i = 0; i < n; ++i) {
    // NOR flash: programming clears bits, so a repeated write is harmless and
    // a write over old data without an erase leaves old zeros in place.
    memory[address + i] = and_in ? (memory[address + i] & data[i]) : data[i];
  }
  Changed(kind, address, n);
}

bool DeviceModel::VerifyMemory(MemoryKind kind, int operation_code,
                               uint32_t address, const uint8_t* data,
                               uint32_t count, uint32_t given) {
  if (!Allows(operation_code) || given < count) return false;
  const std::vector<uint8_t>& memory = states_[selected_].Of(kind);
  // Bytes past the end of the memory are not held by the chip.
  if (address > memory.size() || memory.size() - address < count) return false;
  return std::equal(data, data + count, memory.begin() + address);
}

std::vector<uint8_t> DeviceModel::HandleCommand(const uint8_t* payload,
                                                size_t length) {
  if (length == 0) return {};
  const Args args(payload, length);
  const uint8_t opcode = payload[0];
  Reply reply(opcode);
  const ChipSpec* chip = Chip();
  ChipState* state = chip ? &states_[selected_] : nullptr;
  switch (opcode) {
    case kReadSignature: {
      if (!Allows(kReadSignature)) {
        reply.Byte(0);  // nothing read, nothing to approve
        reply.Byte(0);
        break;
      }
      std::vector<uint8_t> read = chip->signature;
      if (options_.wrong_signature) read.back() ^= 0xFF;
      reply.Byte(static_cast<uint8_t>(read.size()));
      reply.Bytes(read.data(), read.size());
      reply.Byte(read == chip->signature ? 1 : 0);
      break;
    }
    case kReadFuses:
      reply.Bits(Allows(kReadFuses) ? &state->fuses : nullptr);
      break;
    case kReadLocks:
      reply.Bits(Allows(kReadLocks) ? &state->locks : nullptr);
      break;
    case kWriteFuses: {
      const uint8_t index = args.Byte(1);
      if (Allows(kWriteFuses) && index < state->fuses.size()) {
        state->fuses[index] = args.Byte(2) != 0 ? 1 : 0;
        Changed(MemoryKind::kFuses, index, 1);
      }
      break;
    }
    case kWriteLocks: {
      // Lock bits can only be set; an erase of the whole chip clears them.
      const uint8_t index = args.Byte(1);
      if (Allows(kWriteLocks) && index < state->locks.size()) {
        state->locks[index] = 1;
        Changed(MemoryKind::kLocks, index, 1);
      }
      break;
    }
    case kEraseAll:
      if (Allows(kEraseAll)) {
        Erase(MemoryKind::kFlash);
        Erase(MemoryKind::kEeprom);
        Erase(MemoryKind::kLocks);
      }
      break;
    case kEraseFlash:
      if (Allows(kEraseFlash)) Erase(MemoryKind::kFlash);
      break;
    case kEraseEeprom:
      if (Allows(kEraseEeprom)) Erase(MemoryKind::kEeprom);
      break;
    case kReadFlash:
    case kReadEeprom:
      ReadMemory(
          opcode == kReadFlash ? MemoryKind::kFlash : MemoryKind::kEeprom,
          opcode, args.Int32(kMemoryAddressAt), args.Byte(kMemoryCountAt),
          reply);
      break;
    case kWriteFlash:
    case kWriteEeprom:
      WriteMemory(
          opcode == kWriteFlash ? MemoryKind::kFlash : MemoryKind::kEeprom,
          opcode, args.Int32(kMemoryAddressAt), args.Data(kMemoryDataAt),
          std::min<uint32_t>(args.Byte(kMemoryCountAt),
                             args.DataCount(kMemoryDataAt)));
      break;
    case kVerifyFlash:
    case kVerifyEeprom: {
      const uint32_t address = args.Int32(kMemoryAddressAt);
      const uint8_t count = args.Byte(kMemoryCountAt);
      const bool same = VerifyMemory(
          opcode == kVerifyFlash ? MemoryKind::kFlash : MemoryKind::kEeprom,
          opcode, address, args.Data(kMemoryDataAt), count,
          args.DataCount(kMemoryDataAt));
      reply.Int32(address);
      reply.Byte(count);
      reply.Byte(same ? 1 : 0);
      break;
    }
    case kReadCalibration: {
      const bool allowed = Allows(kReadCalibration);
      reply.Byte(allowed ? static_cast<uint8_t>(chip->calibration.size()) : 0);
      if (allowed)
        reply.Bytes(chip->calibration.data(), chip->calibration.size());
      break;
    }
    case kGetSizeF1:
      reply.Int32(chip ? chip->size_f1 : 0);
      break;
    case kGetEepromSize:
      reply.Int32(chip ? chip->eeprom_size : 0);
      break;
    case kGetFlashSize:
      reply.Int32(chip ? chip->flash_size : 0);
      break;
    case kGetLockName:
    case kGetFuseName: {
      const uint8_t index = args.Byte(1);
      const std::vector<BitSpec>* bits =
          chip ? (opcode == kGetLockName ? &chip->locks : &chip->fuses)
               : nullptr;
      reply.Byte(index);
      reply.Text(NameAt(bits, index));
      break;
    }
    case kGetLockCount:
      reply.Byte(chip ? static_cast<uint8_t>(chip->locks.size()) : 0);
      break;
    case kGetFuseCount:
      reply.Byte(chip ? static_cast<uint8_t>(chip->fuses.size()) : 0);
      break;
    case kGetOperations:
      reply.Int32(chip ? chip->operations : 0);
      break;
    case kSelectChip: {
      // 0xFF (no row selected) or any index past the list selects no chip.
      const uint8_t index = args.Byte(1);
      selected_ = index < catalogue_.chips.size() ? index : -1;
      break;
    }
    case kGetChipName: {
      const uint8_t index = args.Byte(1);
      reply.Text(index < catalogue_.chips.size() ? catalogue_.chips[index].name
                                                 : std::string());
      break;
    }
    case kGetChipCount:
      reply.Byte(static_cast<uint8_t>(catalogue_.chips.size()));
      break;
    case kGetInfoLine: {
      const uint8_t index = args.Byte(1);
      reply.Byte(index);
      reply.Text(index < catalogue_.about_lines.size()
                     ? catalogue_.about_lines[index]
                     : std::string());
      break;
    }
    case kGetInfoCount:
      reply.Byte(static_cast<uint8_t>(catalogue_.about_lines.size()));
      break;
    case kGetName:
      reply.Text(catalogue_.device_name);
      break;
    default:
      // SVC_END, the programming switches, the RAM operations and anything
      // unknown: the opcode alone tells the program the command was taken.
      break;
  }
  return reply.Take();
}

}  // namespace taktm::devsim
