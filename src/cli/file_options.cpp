#include "cli/file_options.h"

#include <cstdint>

#include "buffer/data_buffer.h"

namespace taktm {

std::string ParseFileOption(const std::string& name, const std::string& value,
                            CliOptions* options) {
  if (name == "--format") {
    if (value == "auto") {
      options->format.reset();
      return std::string();
    }
    options->format = FormatFromWord(value);
    if (!options->format) {
      return "Неверный формат: " + value +
             " (нужно auto, ihex, srec, elf или raw)";
    }
    return std::string();
  }
  const bool hex = value.rfind("0x", 0) == 0 || value.rfind("0X", 0) == 0;
  const std::string digits = hex ? value.substr(2) : value;
  uint64_t address = 0;
  bool good = !digits.empty() && digits.size() <= 10;
  for (char c : digits) {
    int d = -1;
    if (c >= '0' && c <= '9') d = c - '0';
    if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    if (d < 0) good = false;
    address = address * (hex ? 16 : 10) + static_cast<uint64_t>(d < 0 ? 0 : d);
  }
  if (!good || address >= kBufferLimit) {
    return "Неверный адрес --offset: " + value;
  }
  options->offset = static_cast<uint32_t>(address);
  return std::string();
}

std::string CheckFileOptions(const CliOptions& options) {
  const CommandEntry& entry = EntryOf(options.command);
  if (!entry.takes_file) return std::string();
  if (!entry.file_is_input && options.format == ImageFormat::kElf) {
    return "Формат elf только читается: прочитанное сохраняется в ihex, srec "
           "или raw";
  }
  if (options.offset != 0 && !entry.file_is_input) {
    return "Ключ --offset — только для записи и сверки";
  }
  if (options.offset != 0 && options.format &&
      *options.format != ImageFormat::kRaw) {
    return std::string("Ключ --offset — только для двоичного образа, а не ") +
           FormatWord(*options.format);
  }
  return std::string();
}

}  // namespace taktm
