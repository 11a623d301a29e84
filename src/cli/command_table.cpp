#include "cli/command_table.h"

#include "programming/operation_table.h"

namespace taktm {
namespace {

constexpr size_t kDescriptionColumn = 24;

// Columns on a terminal: UTF-8 continuation bytes take none.
size_t Columns(const std::string& text) {
  size_t n = 0;
  for (const char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  }
  return n;
}

CommandEntry OwnCommand(CliCommand command, const char* name, bool needs_chip,
                        const char* argument, const char* usage,
                        bool takes_range) {
  return {command, name,     -1,    needs_chip, false,      false,
          false,   argument, usage, false,      takes_range};
}

}  // namespace

const std::vector<CommandEntry>& CommandTable() {
  using C = CliCommand;
  static const std::vector<CommandEntry> entries = [] {
    std::vector<CommandEntry> e = {
        OwnCommand(C::kHelp, "help", false, nullptr, nullptr, false),
        OwnCommand(C::kPorts, "ports", false, nullptr,
                   "последовательные порты: имя, описание, USB VID:PID\n"
                   "(с --probe: и имя программатора, ответившего на порту)",
                   false),
        OwnCommand(C::kInfo, "info", false, nullptr,
                   "имя программатора и строки «О программе»", false),
        OwnCommand(C::kChips, "chips", false, nullptr,
                   "список микросхем с номерами", false),
        OwnCommand(C::kOps, "ops", true, nullptr,
                   "операции, размеры памяти, LOCK и FUSE биты (--chip)",
                   false),
    };
    // Every operation with a word, its arguments and rules from its row.
    for (const OperationRow& row : OperationTable()) {
      if (row.command == nullptr) continue;
      e.push_back({static_cast<CliCommand>(row.code), row.command, row.code,
                   true, TakesFile(row), TakesBits(row), TakesImage(row),
                   TakesFile(row)   ? "ФАЙЛ"
                   : TakesBits(row) ? "БИТЫ"
                                    : nullptr,
                   row.usage, row.several_ports, TakesRange(row)});
    }
    // A memory's read, judged or summed (memory_commands.h).
    e.push_back(OwnCommand(C::kBlankCheck, "blank-check", true, "flash|eeprom",
                           "проверить, что память чиста (все байты FF)", true));
    e.push_back(OwnCommand(C::kChecksum, "checksum", true, "flash|eeprom|ФАЙЛ",
                           "CRC-32 памяти микросхемы (как у zlib и crc32)\n"
                           "или образа ФАЙЛА, загруженного как для записи",
                           true));
    // A whole product: its images and bits as options (program_args.h),
    // on several ports at once like every write.
    e.push_back({C::kProgram, "program", -1, true, false, false, false, nullptr,
                 "изделие целиком за один прогон: сигнатура, стирание,\n"
                 "запись и сверка памяти программ и EEPROM, FUSE биты,\n"
                 "LOCK биты последними; до первой ошибки (--flash,\n"
                 "--eeprom, --fuses, --locks)",
                 true, false});
    return e;
  }();
  return entries;
}

const CommandEntry& EntryOf(CliCommand command) {
  for (const CommandEntry& entry : CommandTable()) {
    if (entry.command == command) return entry;
  }
  return CommandTable().front();
}

const char* CommandForOperation(int code) {
  const OperationRow* row = FindOperation(code);
  return row != nullptr ? row->command : nullptr;
}

std::string CommandUsageLines() {
  std::string text;
  for (const CommandEntry& entry : CommandTable()) {
    if (entry.usage == nullptr) continue;
    std::string head = std::string("  ") + entry.name;
    if (entry.argument != nullptr) head += std::string(" ") + entry.argument;
    const size_t columns = Columns(head);
    head += std::string(
        columns + 2 <= kDescriptionColumn ? kDescriptionColumn - columns : 2,
        ' ');
    std::string usage = entry.usage;
    for (size_t at = 0; (at = usage.find('\n', at)) != std::string::npos;) {
      usage.insert(at + 1, std::string(kDescriptionColumn, ' '));
      at += 1 + kDescriptionColumn;
    }
    text += head + usage + "\n";
  }
  return text;
}

}  // namespace taktm
