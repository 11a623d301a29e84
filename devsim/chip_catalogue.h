// What the virtual programmer knows: its name, its about lines and the chips
// it can program, built in or loaded from a text file.
#ifndef TAKT_DEVSIM_CHIP_CATALOGUE_H_
#define TAKT_DEVSIM_CHIP_CATALOGUE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace taktm::devsim {

// The largest memory the emulator agrees to hold in RAM.
inline constexpr uint32_t kMaxMemorySize = 64u << 20;

struct BitSpec {
  std::string name;           // UTF-8; sent in Windows-1251
  uint8_t factory_state = 0;  // 1 = set on a new chip
};

struct ChipSpec {
  std::string name;  // UTF-8; sent in Windows-1251
  uint32_t flash_size = 0;
  uint32_t eeprom_size = 0;
  uint32_t operations = 0;  // bit i set = operation code i allowed
  std::vector<uint8_t> signature;
  std::vector<uint8_t> calibration;
  uint32_t size_f1 = 0;  // the extra 4-byte value; here the page size
  std::vector<BitSpec> locks;
  std::vector<BitSpec> fuses;

  bool Allows(int operation_code) const {
    return operation_code >= 0 && operation_code < 32 &&
           (operations >> operation_code) & 1u;
  }
};

struct Catalogue {
  std::string device_name;
  std::vector<std::string> about_lines;
  std::vector<ChipSpec> chips;
};

Catalogue BuiltInCatalogue();

// Reads the text format described in docs/devsim.md. The device name and the
// about lines default to the built-in ones. On failure returns false with a
// message naming the line.
bool ParseCatalogue(std::string_view text, Catalogue& out, std::string& error);
bool LoadCatalogueFile(const std::string& path, Catalogue& out,
                       std::string& error);

// Checks what the link can carry: counts of at most 255, texts of at most 255
// bytes in Windows-1251, replies that fit a frame, distinct chip names.
bool ValidateCatalogue(const Catalogue& catalogue, std::string& error);

// A chip name made safe for a file name: ASCII letters, digits, '.', '-' and
// '_' stay, other ASCII characters become '_', and each byte of a non-ASCII
// character becomes two hexadecimal digits.
std::string FileStem(const std::string& chip_name);

}  // namespace taktm::devsim

#endif  // TAKT_DEVSIM_CHIP_CATALOGUE_H_
