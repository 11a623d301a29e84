#include "cli/memory_commands.h"

#include <cctype>

#include "link/memory_command.h"
#include "programming/opcodes.h"

namespace taktm {
namespace {

// Decimal or 0x hexadecimal, at most 32 bits.
std::optional<uint32_t> ParseAddress(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(c));
  const bool hex = text.rfind("0x", 0) == 0;
  const std::string digits = hex ? text.substr(2) : text;
  const std::string allowed = hex ? "0123456789abcdef" : "0123456789";
  if (digits.empty() || digits.size() > 10 ||
      digits.find_first_not_of(allowed) != std::string::npos) {
    return std::nullopt;
  }
  uint64_t value = 0;
  for (const char c : digits) {
    value = value * (hex ? 16 : 10) +
            static_cast<uint64_t>(c <= '9' ? c - '0' : c - 'a' + 10);
  }
  if (value > 0xFFFFFFFFu) return std::nullopt;
  return static_cast<uint32_t>(value);
}

}  // namespace

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
