#include "chip_catalogue.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <set>
#include <sstream>

#include "programming/cp1251.h"

namespace taktm::devsim {
namespace {

uint32_t Mask(std::initializer_list<int> codes) {
  uint32_t mask = 0;
  for (int code : codes) mask |= 1u << code;
  return mask;
}

std::vector<BitSpec> Bits(std::initializer_list<BitSpec> bits) { return bits; }

std::string_view Trim(std::string_view s) {
  const char* kSpace = " \t\r";
  const size_t first = s.find_first_not_of(kSpace);
  if (first == std::string_view::npos) return {};
  const size_t last = s.find_last_not_of(kSpace);
  return s.substr(first, last - first + 1);
}

// Splits off the first blank-separated word of `s`.
std::string_view TakeWord(std::string_view& s) {
  s = Trim(s);
  const size_t end = s.find_first_of(" \t");
  std::string_view word = s.substr(0, end);
  s = end == std::string_view::npos ? std::string_view{} : Trim(s.substr(end));
  return word;
}

bool ParseNumber(std::string_view word, int base, uint64_t max,
                 uint64_t& value) {
  if (word.empty() || word.size() > 20) return false;
  std::string text(word);
  if (base == 0 && text.size() > 2 && text[0] == '0' &&
      (text[1] == 'x' || text[1] == 'X')) {
    text = text.substr(2), base = 16;
  } else if (base == 0) {
    base = 10;
  }
  if (text.find_first_of("+- ") != std::string::npos) return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long long v = std::strtoull(text.c_str(), &end, base);
  if (errno != 0 || end == text.c_str() || *end != '\0' || v > max) {
    return false;
  }
  value = v;
  return true;
}

bool ParseByteList(std::string_view rest, std::vector<uint8_t>& bytes) {
  bytes.clear();
  for (std::string_view word = TakeWord(rest); !word.empty();
       word = TakeWord(rest)) {
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X'))
      word.remove_prefix(2);
    uint64_t v;
    if (!ParseNumber(word, 16, 0xFF, v)) return false;
    bytes.push_back(static_cast<uint8_t>(v));
  }
  return true;
}

bool CheckText(const std::string& text, size_t limit, const std::string& what,
               std::string& error) {
  std::string encoded;
  if (!EncodeCp1251(text, encoded)) {
    error = what + " \"" + text + "\" cannot be written in Windows-1251";
    return false;
  }
  if (encoded.size() > limit) {
    error = what + " \"" + text + "\" is longer than " + std::to_string(limit) +
            " bytes";
    return false;
  }
  return true;
}

}  // namespace

Catalogue BuiltInCatalogue() {
  Catalogue c;
  c.device_name = "ТАКТ-М (виртуальный)";
  c.about_lines = {
      "Виртуальный программатор ТАКТ-М",
      "Эмулятор устройства на псевдотерминале",
      "takt-m-devsim 0.1",
  };

  ChipSpec small;
  small.name = "DEMO-1K";
  small.flash_size = 1000;
  small.eeprom_size = 64;
  small.operations = Mask({0, 7, 9, 10, 11, 12, 13, 14, 15, 20});
  small.signature = {0x5A, 0x01, 0x01};
  small.calibration = {0xA3};
  small.size_f1 = 32;
  c.chips.push_back(small);  // no lock or fuse bits

  ChipSpec no_erase;
  no_erase.name = "DEMO-4K";
  no_erase.flash_size = 4096;
  no_erase.eeprom_size = 256;
  no_erase.operations = Mask({0, 3, 4, 5, 6, 9, 10, 11, 13, 14, 15, 20});
  no_erase.signature = {0x5A, 0x04, 0x02};
  no_erase.calibration = {0x9C, 0x9D};
  no_erase.size_f1 = 64;
  no_erase.locks = Bits({{"LOCK", 0}});
  no_erase.fuses = Bits({{"CLK", 1}, {"WDT", 0}});
  c.chips.push_back(no_erase);

  ChipSpec full;
  full.name = "DEMO-8K";
  full.flash_size = 8192;
  full.eeprom_size = 512;
  full.operations = Mask({0, 3, 4, 5, 6, 7, 9, 10, 11, 12, 13, 14, 15, 20});
  full.signature = {0x5A, 0x08, 0x03};
  full.calibration = {0x9E, 0x9F, 0xA0, 0xA1};
  full.size_f1 = 64;
  full.locks = Bits({{"Запрет чтения", 0}, {"Запрет записи", 0}});
  full.fuses = Bits({{"CLK0", 1},
                     {"CLK1", 0},
                     {"BOOT", 0},
                     {"WDT", 1},
                     {"Сохранять EEPROM", 0},
                     {"Сброс по питанию", 1}});
  c.chips.push_back(full);

  ChipSpec large;
  large.name = "DEMO-128K";
  large.flash_size = 131072;
  large.eeprom_size = 4096;
  large.operations = Mask({0, 3, 4, 5, 6, 7, 9, 10, 12, 13, 14, 15, 20});
  large.signature = {0x5A, 0x80, 0x04};
  large.calibration = {0xB0, 0xB1, 0xB2};
  large.size_f1 = 256;
  large.locks = Bits({{"LOCK0", 0}, {"LOCK1", 0}, {"LOCK2", 0}, {"LOCK3", 0}});
  large.fuses = Bits({{"CLK0", 1},
                      {"CLK1", 1},
                      {"CLK2", 0},
                      {"BOOT0", 0},
                      {"BOOT1", 0},
                      {"WDT", 0},
                      {"JTAG", 1},
                      {"Сохранять EEPROM", 0}});
  c.chips.push_back(large);
  return c;
}

bool ParseCatalogue(std::string_view text, Catalogue& out, std::string& error) {
  const Catalogue defaults = BuiltInCatalogue();
  Catalogue c;
  c.device_name = defaults.device_name;
  bool about_given = false;
  int line_number = 0;
  while (!text.empty()) {
    ++line_number;
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{}
                                         : text.substr(end + 1);
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    const auto fail = [&](const std::string& why) {
      error = "line " + std::to_string(line_number) + ": " + why;
      return false;
    };
    std::string_view rest = line;
    const std::string key(TakeWord(rest));
    if (key == "device") {
      if (rest.empty()) return fail("device needs a name");
      c.device_name = std::string(rest);
      continue;
    }
    if (key == "about") {
      about_given = true;
      c.about_lines.emplace_back(rest);
      continue;
    }
    if (key == "no-about") {  // a device with no about lines at all
      about_given = true;
      c.about_lines.clear();
      continue;
    }
    if (key == "chip") {
      if (rest.empty()) return fail("chip needs a name");
      c.chips.emplace_back();
      c.chips.back().name = std::string(rest);
      continue;
    }
    if (c.chips.empty()) return fail("\"" + key + "\" before the first chip");
    ChipSpec& chip = c.chips.back();
    uint64_t v;
    if (key == "flash" || key == "eeprom") {
      if (!ParseNumber(rest, 0, kMaxMemorySize, v)) {
        return fail(key + " needs a size from 0 to " +
                    std::to_string(kMaxMemorySize));
      }
      (key == "flash" ? chip.flash_size : chip.eeprom_size) =
          static_cast<uint32_t>(v);
    } else if (key == "f1") {
      if (!ParseNumber(rest, 0, 0xFFFFFFFFu, v)) {
        return fail("f1 needs a 32-bit value");
      }
      chip.size_f1 = static_cast<uint32_t>(v);
    } else if (key == "operations") {
      chip.operations = 0;
      for (std::string_view w = TakeWord(rest); !w.empty();
           w = TakeWord(rest)) {
        if (!ParseNumber(w, 10, 31, v)) {
          return fail("operation codes are numbers from 0 to 31");
        }
        chip.operations |= 1u << v;
      }
    } else if (key == "signature" || key == "calibration") {
      std::vector<uint8_t> bytes;
      if (!ParseByteList(rest, bytes)) {
        return fail(key + " needs hexadecimal bytes");
      }
      (key == "signature" ? chip.signature : chip.calibration) = bytes;
    } else if (key == "lock") {
      if (rest.empty()) return fail("lock needs a name");
      chip.locks.push_back({std::string(rest), 0});
    } else if (key == "fuse") {
      const std::string_view state = TakeWord(rest);
      if ((state != "0" && state != "1") || rest.empty()) {
        return fail("fuse needs its factory state (0 or 1), then a name");
      }
      chip.fuses.push_back(
          {std::string(rest), state == "1" ? uint8_t{1} : uint8_t{0}});
    } else {
      return fail("unknown key \"" + key + "\"");
    }
  }
  if (!about_given) c.about_lines = defaults.about_lines;
  if (!ValidateCatalogue(c, error)) return false;
  out = std::move(c);
  return true;
}

bool LoadCatalogueFile(const std::string& path, Catalogue& out,
                       std::string& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = "cannot read " + path;
    return false;
  }
  std::ostringstream text;
  text << file.rdbuf();
  if (!ParseCatalogue(text.str(), out, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

bool ValidateCatalogue(const Catalogue& catalogue, std::string& error) {
  // Reply payloads are at most 255 bytes: opcode, index, length, text.
  if (!CheckText(catalogue.device_name, 253, "device name", error))
    return false;
  if (catalogue.about_lines.size() > 255) {
    error = "more than 255 about lines";
    return false;
  }
  for (const std::string& line : catalogue.about_lines) {
    if (!CheckText(line, 252, "about line", error)) return false;
  }
  // A device with no chips at all answers a chip count of 0.
  if (catalogue.chips.size() > 255) {
    error = "the catalogue must list at most 255 chips";
    return false;
  }
  std::set<std::string> stems;
  for (const ChipSpec& chip : catalogue.chips) {
    const std::string where = "chip \"" + chip.name + "\": ";
    if (chip.name.empty()) {
      error = "a chip has no name";
      return false;
    }
    if (!CheckText(chip.name, 253, "chip name", error)) return false;
    if (!stems.insert(FileStem(chip.name)).second) {
      error = where + "name clashes with another chip's";
      return false;
    }
    if (chip.flash_size > kMaxMemorySize || chip.eeprom_size > kMaxMemorySize) {
      error = where + "memory larger than " + std::to_string(kMaxMemorySize);
      return false;
    }
    if (chip.signature.empty() || chip.signature.size() > 252) {
      error = where + "needs 1 to 252 signature bytes";
      return false;
    }
    if (chip.calibration.size() > 253) {
      error = where + "more than 253 calibration bytes";
      return false;
    }
    // A count is one byte; a read of the states carries the first 253.
    if (chip.locks.size() > 255 || chip.fuses.size() > 255) {
      error = where + "more than 255 lock or fuse bits";
      return false;
    }
    for (const auto* bits : {&chip.locks, &chip.fuses}) {
      for (const BitSpec& bit : *bits) {
        if (!CheckText(bit.name, 252, where + "bit name", error)) return false;
      }
    }
  }
  return true;
}

std::string FileStem(const std::string& chip_name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string stem;
  for (char ch : chip_name) {
    const auto byte = static_cast<uint8_t>(ch);
    const bool keep = (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') ||
                      (ch >= '0' && ch <= '9') || ch == '.' || ch == '-' ||
                      ch == '_';
    if (keep) {
      stem.push_back(ch);
    } else if (byte >= 0x80) {  // a piece of a non-ASCII letter: keep it apart
      stem.push_back(kHex[byte >> 4]);
      stem.push_back(kHex[byte & 15]);
    } else {
      stem.push_back('_');
    }
  }
  if (stem.find_first_not_of('.') == std::string::npos) stem = "_" + stem;
  return stem;
}

}  // namespace taktm::devsim
