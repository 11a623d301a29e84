#include "programming/programming_fixture.h"

#include <algorithm>

#include "link/memory_command.h"

namespace taktm::testing {
namespace {

devsim::BitSpec Bit(std::string name, uint8_t factory_state = 0) {
  return {std::move(name), factory_state};
}

// A programmer called TAKT-M with two about lines and two chips; the first
// has 448 bytes of program memory, 224 of EEPROM, two lock and three fuse
// bits and allows every operation the program runs.
devsim::Catalogue TestCatalogue() {
  devsim::ChipSpec chip;
  chip.name = "DEMO-8K";
  chip.flash_size = 448;
  chip.eeprom_size = 224;
  chip.signature = {0x1E, 0x95, 0x0F};
  chip.size_f1 = 7;
  chip.locks = {Bit("LB0"), Bit("LB1")};
  chip.fuses = {Bit("FB0", 1), Bit("FB1"), Bit("FB2", 1)};
  devsim::ChipSpec second = chip;
  second.name = "DEMO-128K";
  return {"TAKT-M", {"v1", "v2"}, {chip, second}};
}

}  // namespace

ModelDevice::ModelDevice()
    : model_(TestCatalogue(), {.flash_needs_erase = false}) {}

// Every chip gets the same handles, so the test sees one chip whichever is
// selected.
Bytes ModelDevice::ReplyFor(const Bytes& command) {
  const size_t index = model_.selected_chip() > 0
                           ? static_cast<size_t>(model_.selected_chip())
                           : 0;
  devsim::ChipSpec& chip = model_.chips()[index];
  chip.operations = mask;
  chip.flash_size = flash_size;
  chip.locks.resize(static_cast<size_t>(lock_bits));
  for (int i = 0; i < lock_bits; ++i) {
    chip.locks[i].name = "LB" + std::to_string(i);
  }
  // A failing verdict: the chip in the socket reads 1E 95 0F, as it always
  // does, but its type expects another last byte.
  model_.options().wrong_signature = signature_verdict == 0;
  chip.signature = {0x1E, 0x95,
                    static_cast<uint8_t>(signature_verdict == 0 ? 0xF0 : 0x0F)};
  devsim::ChipState& state = model_.chip_state(index);
  state.flash = flash;
  state.eeprom = eeprom;
  state.fuses = fuse_states;
  state.locks.resize(chip.locks.size());

  const bool stuck = stuck_address >= 0 &&
                     static_cast<size_t>(stuck_address) < state.flash.size();
  const uint8_t kept = stuck ? state.flash[stuck_address] : 0;
  const std::vector<uint8_t> reply =
      model_.HandleCommand(command.data(), command.size());
  if (stuck) state.flash[stuck_address] = kept;

  flash = state.flash;
  eeprom = state.eeprom;
  fuse_states = state.fuses;
  return reply;
}

std::string ProgrammingTest::Summary() const {
  std::string out;
  char part[32];
  for (const Bytes& c : Queued()) {
    if (!out.empty()) out += ' ';
    std::snprintf(part, sizeof part, "%02X", c[0]);
    out += part;
    if (c.size() == 2) {
      out += ":" + std::to_string(c[1]);
    } else if (c.size() >= 6 && c[0] >= OP_READ_FLASH &&
               c[0] <= OP_VERIFY_EEPROM) {
      const MemoryCommand m = *DecodeMemoryCommand(c);
      out += "@" + std::to_string(m.address) + "+" + std::to_string(m.count);
    }
  }
  return out;
}

}  // namespace taktm::testing
