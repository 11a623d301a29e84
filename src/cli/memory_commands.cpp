#include "cli/memory_commands.h"

#include <cstdint>

#include "link/memory_command.h"
#include "programming/opcodes.h"

namespace taktm {
namespace {

// Decimal or 0x hexadecimal, at most 32 bits and ten digits.
std::optional<uint32_t> ParseAddress(std::string_view text) {
  const bool hex =
      text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  if (text.size() - (hex ? 2 : 0) > 10) return std::nullopt;
  const std::optional<uint64_t> value = ParseNumber(text);
  if (!value || *value > 0xFFFFFFFFu) return std::nullopt;
  return static_cast<uint32_t>(*value);
}

}  // namespace

std::optional<uint64_t> ParseNumber(std::string_view text) {
  const bool hex =
      text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  if (hex) text.remove_prefix(2);
  const uint64_t base = hex ? 16 : 10;
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  for (const char c : text) {
    uint64_t digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<uint64_t>(c - '0');
    } else if (hex && c >= 'a' && c <= 'f') {
      digit = static_cast<uint64_t>(c - 'a' + 10);
    } else if (hex && c >= 'A' && c <= 'F') {
      digit = static_cast<uint64_t>(c - 'A' + 10);
    } else {
      return std::nullopt;
    }
    if (value > (UINT64_MAX - digit) / base) return std::nullopt;
    value = value * base + digit;
  }
  return value;
}

std::string TakeMemoryArgument(const std::string& word, CliOptions& options) {
  if (word == "flash") {
    options.memory = MemoryTarget::kFlash;
  } else if (word == "eeprom") {
    options.memory = MemoryTarget::kEeprom;
  } else if (options.command == CliCommand::kChecksum) {
    if (word.empty()) return "Пустое имя файла";
    options.file = word;
  } else {
    return "Команде blank-check нужна память: flash или eeprom, не \"" + word +
           "\"";
  }
  return {};
}

int OperationOf(const CliOptions& options) {
  switch (options.memory) {
    case MemoryTarget::kFlash:
      return OP_READ_FLASH;
    case MemoryTarget::kEeprom:
      return OP_READ_EEPROM;
    case MemoryTarget::kNone:
      break;
  }
  return EntryOf(options.command).operation;
}

bool NeedsDevice(const CliOptions& options) {
  return !(options.command == CliCommand::kChecksum &&
           options.memory == MemoryTarget::kNone);
}

std::optional<AddressRange> ParseRange(const std::string& text,
                                       std::string* error) {
  const size_t colon = text.find(':');
  const std::optional<uint32_t> start =
      colon == std::string::npos ? std::nullopt
                                 : ParseAddress(text.substr(0, colon));
  const std::optional<uint32_t> length =
      colon == std::string::npos ? std::nullopt
                                 : ParseAddress(text.substr(colon + 1));
  if (!start || !length) {
    *error = "Неверный диапазон \"" + text +
             "\": нужно НАЧАЛО:ДЛИНА, например 0x1000:256";
    return std::nullopt;
  }
  if (*length == 0) {
    *error = "Пустой диапазон: " + text;
    return std::nullopt;
  }
  if (uint64_t{*start} + *length > 0x100000000ull) {
    *error = "Диапазон за пределами 32 бит: " + text;
    return std::nullopt;
  }
  return AddressRange{*start, *length};
}

std::string RangeBeyond(const AddressRange& range, uint64_t size,
                        const std::string& what) {
  if (uint64_t{range.start} + range.length <= size) return {};
  return "Диапазон " + RangeText(range) + " выходит за " + what + " (" +
         std::to_string(size) + " байт)";
}

std::string RangeText(const AddressRange& range) {
  return "0x" + Hex(range.start) + "..0x" +
         Hex(uint64_t{range.start} + range.length - 1) + " (" +
         std::to_string(range.length) + " байт)";
}

const char* MemoryName(bool flash) {
  return flash ? "память программ" : "EEPROM";
}

std::string ImageTooLargeText(size_t image, uint32_t memory, bool flash,
                              bool write) {
  return "Файл больше " + std::string(flash ? "памяти программ" : "EEPROM") +
         " микросхемы: " + std::to_string(image) + " байт, память " +
         std::to_string(memory) + " байт. " +
         (write ? "Ничего не записано." : "Ничего не сверено.");
}

}  // namespace taktm
