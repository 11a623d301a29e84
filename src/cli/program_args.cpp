#include "cli/program_args.h"

#include <utility>

namespace taktm {

bool IsProgramOption(const std::string& name) {
  return name == "--flash" || name == "--eeprom" || name == "--fuses" ||
         name == "--locks";
}

std::string TakeProgramOption(const std::string& name, const std::string& value,
                              CliOptions& options) {
  if (name == "--flash" || name == "--eeprom") {
    if (value.empty()) return "Пустое имя файла (" + name + ")";
    (name == "--flash" ? options.flash_file : options.eeprom_file) = value;
  } else {
    // BITS as write-fuses and write-locks take them; "-" ticks none.
    if (value.empty()) return "Пустой список битов (" + name + ")";
    (name == "--fuses" ? options.fuses : options.locks) = value;
  }
  return {};
}

std::optional<SerialOption> ParseSerialWithMemory(const std::string& text,
                                                  std::string* error) {
  MemoryTarget memory = MemoryTarget::kNone;
  std::string rest = text;
  for (const auto& [word, target] :
       {std::pair{"flash:", MemoryTarget::kFlash},
        std::pair{"eeprom:", MemoryTarget::kEeprom}}) {
    if (rest.rfind(word, 0) == 0) {
      memory = target;
      rest = rest.substr(std::string(word).size());
      break;
    }
  }
  std::optional<SerialOption> serial = ParseSerialOption(rest, error);
  if (serial) serial->memory = memory;
  return serial;
}

std::string CheckProgramOptions(const CliOptions& options) {
  const bool program = options.command == CliCommand::kProgram;
  const bool any = !options.flash_file.empty() ||
                   !options.eeprom_file.empty() || options.fuses ||
                   options.locks;
  if (!program) {
    if (any) {
      return "Ключи --flash, --eeprom, --fuses и --locks — только для "
             "команды program";
    }
    if (options.serial && options.serial->memory != MemoryTarget::kNone &&
        (options.serial->memory == MemoryTarget::kFlash) !=
            (options.command == CliCommand::kWriteFlash)) {
      return std::string("Номер (--serial) в памяти, которую команда ") +
             EntryOf(options.command).name + " не пишет";
    }
    return {};
  }
  if (!any) {
    return "Команде program нужно хотя бы одно из: --flash ФАЙЛ, --eeprom "
           "ФАЙЛ, --fuses БИТЫ, --locks БИТЫ";
  }
  if (options.serial) {
    const bool eeprom = options.serial->memory == MemoryTarget::kEeprom;
    if ((eeprom ? options.eeprom_file : options.flash_file).empty()) {
      return eeprom ? "Номер в EEPROM (--serial eeprom:…) требует --eeprom ФАЙЛ"
                    : "Номер в памяти программ (--serial) требует --flash "
                      "ФАЙЛ; для EEPROM: --serial eeprom:АДРЕС:…";
    }
  }
  if (options.flash_file == "-" || options.eeprom_file == "-") {
    return "Команда program читает образы только из файлов, не из "
           "стандартного ввода";
  }
  return {};
}

}  // namespace taktm
