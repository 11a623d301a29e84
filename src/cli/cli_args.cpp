#include "cli/cli_args.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>

#include "programming/opcodes.h"
#include "ui/int_text.h"

namespace taktm {
namespace {

// A flag that ticks or unticks some of the options Check1 .. Check13.
struct OptionFlag {
  const char* name;
  std::initializer_list<int> options;
  bool ticked;
};

const OptionFlag kOptionFlags[] = {
    {"--reload", {1, 5}, true},
    {"--no-reload", {1, 5}, false},
    {"--signature", {10, 8, 9}, true},
    {"--no-signature", {10, 8, 9}, false},
    {"--erase", {2, 6}, true},
    {"--no-erase", {2, 6}, false},
    {"--verify", {3, 7}, true},
    {"--no-verify", {3, 7}, false},
    {"--set-locks", {11}, true},
    {"--no-set-locks", {11}, false},
    // "перезаписывать FF" ticked writes all-0xFF chunks too.
    {"--skip-ff", {13}, false},
    {"--no-skip-ff", {13}, true},
};

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(c));
  return text;
}

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

bool AllDigits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return c >= '0' && c <= '9';
  });
}

}  // namespace

const std::vector<CommandEntry>& CommandTable() {
  using C = CliCommand;
  static const std::vector<CommandEntry> entries = {
      {C::kHelp, "help", -1, false, false, false, false},
      {C::kPorts, "ports", -1, false, false, false, false},
      {C::kInfo, "info", -1, false, false, false, false},
      {C::kChips, "chips", -1, false, false, false, false},
      {C::kOps, "ops", -1, true, false, false, false},
      {C::kReadFlash, "read-flash", OP_READ_FLASH, true, true, false, false},
      {C::kReadEeprom, "read-eeprom", OP_READ_EEPROM, true, true, false, false},
      {C::kWriteFlash, "write-flash", OP_WRITE_FLASH, true, true, false, true},
      {C::kWriteEeprom, "write-eeprom", OP_WRITE_EEPROM, true, true, false,
       true},
      {C::kVerifyFlash, "verify-flash", OP_VERIFY_FLASH, true, true, false,
       true},
      {C::kVerifyEeprom, "verify-eeprom", OP_VERIFY_EEPROM, true, true, false,
       true},
      {C::kErase, "erase", OP_ERASE_ALL, true, false, false, false},
      {C::kEraseEeprom, "erase-eeprom", OP_ERASE_EEPROM, true, false, false,
       false},
      {C::kSignature, "signature", OP_READ_SIGNATURE, true, false, false,
       false},
      {C::kCalibration, "calibration", OP_READ_CALIBRATION, true, false, false,
       false},
      {C::kReadFuses, "read-fuses", OP_READ_FUSES, true, false, false, false},
      {C::kWriteFuses, "write-fuses", OP_WRITE_FUSES, true, false, true, false},
      {C::kReadLocks, "read-locks", OP_READ_LOCKS, true, false, false, false},
      {C::kWriteLocks, "write-locks", OP_WRITE_LOCKS, true, false, true, false},
  };
  return entries;
}

const CommandEntry& EntryOf(CliCommand command) {
  for (const CommandEntry& entry : CommandTable()) {
    if (entry.command == command) return entry;
  }
  return CommandTable().front();
}

const char* CommandForOperation(int code) {
  for (const CommandEntry& entry : CommandTable()) {
    if (entry.operation == code) return entry.name;
  }
  return nullptr;
}

std::optional<int32_t> ParityIndexForName(const std::string& name) {
  // List items "Нет", "Чет", "Нечет", "0", "1" select none, odd, even,
  // space and mark.
  static const char* const kNames[] = {"none", "odd", "even", "space", "mark"};
  const std::string lower = Lower(name);
  for (int32_t i = 0; i < 5; ++i) {
    if (lower == kNames[i]) return i;
  }
  return std::nullopt;
}

ParsedArgs ParseCliArgs(const std::vector<std::string>& args) {
  ParsedArgs result;
  CliOptions options;
  std::vector<std::string> words;
  auto fail = [&](std::string error) {
    result.error = std::move(error);
    return result;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (arg == "-h" || arg == "--help" || arg == "--version") {
      options.command =
          arg == "--version" ? CliCommand::kVersion : CliCommand::kHelp;
      result.options = options;
      return result;
    }
    if (arg == "--") {
      words.insert(words.end(), args.begin() + static_cast<long>(i) + 1,
                   args.end());
      break;
    }
    if (arg.size() > 1 && arg[0] == '-' && arg[1] != '-') {
      return fail("Неизвестный ключ " + arg);  // "-" alone is a word (BITS)
    }
    if (arg.rfind("--", 0) != 0 || arg.size() == 2) {
      words.push_back(arg);
      continue;
    }
    // --name=value or --name value for the options that take a value.
    std::optional<std::string> inline_value;
    if (const size_t eq = arg.find('='); eq != std::string::npos) {
      inline_value = arg.substr(eq + 1);
      arg.resize(eq);
    }
    auto value = [&]() -> std::optional<std::string> {
      if (inline_value) return inline_value;
      if (i + 1 < args.size()) return args[++i];
      return std::nullopt;
    };
    if (arg == "--quiet" || arg == "--json") {
      if (inline_value) return fail("Ключ " + arg + " не принимает значения");
      (arg == "--quiet" ? options.quiet : options.json) = true;
      continue;
    }
    const auto flag =
        std::find_if(std::begin(kOptionFlags), std::end(kOptionFlags),
                     [&](const OptionFlag& f) { return arg == f.name; });
    if (flag != std::end(kOptionFlags)) {
      if (inline_value) return fail("Ключ " + arg + " не принимает значения");
      for (int n : flag->options) options.checks[n] = flag->ticked;
      continue;
    }
    if (arg != "--port" && arg != "--baud" && arg != "--parity" &&
        arg != "--chip" && arg != "--timeout") {
      return fail("Неизвестный ключ " + arg);
    }
    const std::optional<std::string> v = value();
    if (!v) return fail("Ключу " + arg + " нужно значение");
    if (arg == "--port") {
      if (v->empty()) return fail("Пустое имя порта");
      options.port = *v;
    } else if (arg == "--baud") {
      const std::optional<int32_t> baud = ParseInt32(*v);
      if (!baud || *baud <= 0 || !AllDigits(*v)) {
        return fail("Неверная скорость: " + *v);
      }
      options.baud = *baud;
    } else if (arg == "--parity") {
      options.parity_index = ParityIndexForName(*v);
      if (!options.parity_index) {
        return fail("Неверная чётность: " + *v +
                    " (нужно none, odd, even, mark или space)");
      }
    } else if (arg == "--chip") {
      if (v->empty()) return fail("Пустое имя микросхемы");
      options.chip = *v;
    } else {  // --timeout
      const std::optional<int32_t> seconds = ParseInt32(*v);
      if (!seconds || *seconds <= 0 || !AllDigits(*v)) {
        return fail("Неверный срок: " + *v);
      }
      options.timeout_seconds = static_cast<uint32_t>(*seconds);
    }
  }
  if (words.empty()) return fail("Не задана команда");
  const auto entry =
      std::find_if(CommandTable().begin(), CommandTable().end(),
                   [&](const CommandEntry& s) { return words[0] == s.name; });
  if (entry == CommandTable().end()) {
    return fail("Неизвестная команда " + words[0]);
  }
  options.command = entry->command;
  const size_t wanted = (entry->takes_file || entry->takes_bits) ? 2 : 1;
  if (words.size() < wanted) {
    return fail(std::string("Команде ") + entry->name + " нужен аргумент " +
                (entry->takes_file ? "ФАЙЛ" : "БИТЫ"));
  }
  if (words.size() > wanted) {
    return fail(std::string("Лишний аргумент ") + words[wanted]);
  }
  if (entry->takes_file) {
    if (words[1].empty()) return fail("Пустое имя файла");
    options.file = words[1];
  }
  if (entry->takes_bits) options.bits = words[1];
  result.options = options;
  return result;
}

int FindChipRow(const std::string& entry,
                const std::vector<std::string>& rows) {
  if (AllDigits(entry)) {
    const std::optional<int32_t> index = ParseInt32(entry);
    if (index && *index < static_cast<int32_t>(rows.size())) return *index;
  }
  for (size_t i = 0; i < rows.size(); ++i) {
    if (rows[i] == entry) return static_cast<int>(i);
  }
  for (size_t i = 0; i < rows.size(); ++i) {
    if (Lower(rows[i]) == Lower(entry)) return static_cast<int>(i);
  }
  return -1;
}

std::optional<std::vector<bool>> ParseBitTicks(
    const std::string& entry, const std::vector<std::string>& names,
    std::string* error) {
  std::vector<bool> ticks(names.size(), false);
  if (Trim(entry) == "-") return ticks;
  size_t from = 0;
  while (from <= entry.size()) {
    size_t comma = entry.find(',', from);
    if (comma == std::string::npos) comma = entry.size();
    const std::string word = Trim(entry.substr(from, comma - from));
    from = comma + 1;
    int bit = -1;
    for (size_t i = 0; i < names.size() && bit < 0; ++i) {
      if (names[i] == word) bit = static_cast<int>(i);
    }
    if (bit < 0 && AllDigits(word)) {
      const std::optional<int32_t> index = ParseInt32(word);
      if (index && *index < static_cast<int32_t>(names.size())) bit = *index;
    }
    if (bit < 0) {
      *error = word.empty() ? "Пустое имя бита в \"" + entry + "\""
                            : "Нет бита \"" + word + "\"";
      return std::nullopt;
    }
    ticks[static_cast<size_t>(bit)] = true;
  }
  return ticks;
}

std::string UsageText() {
  return R"(Использование: takt-m-cli [КЛЮЧИ] КОМАНДА [АРГУМЕНТ]

Команды:
  ports                 последовательные порты: имя, описание, USB VID:PID
  info                  имя программатора и строки «О программе»
  chips                 список микросхем с номерами
  ops                   операции, размеры памяти, LOCK и FUSE биты (--chip)
  read-flash ФАЙЛ       прочитать память программ в файл (.hex: Intel HEX)
  read-eeprom ФАЙЛ      прочитать EEPROM в файл (.hex: Intel HEX)
  write-flash ФАЙЛ      записать память программ из файла
  write-eeprom ФАЙЛ     записать EEPROM из файла
  verify-flash ФАЙЛ     сверить память программ с файлом
  verify-eeprom ФАЙЛ    сверить EEPROM с файлом
  erase                 стереть все
  erase-eeprom          стереть EEPROM
  signature             прочитать и проверить сигнатуру
  calibration           прочитать калибровочные байты
  read-fuses            прочитать FUSE биты
  write-fuses БИТЫ      записать FUSE биты
  read-locks            прочитать LOCK биты
  write-locks БИТЫ      записать LOCK биты
БИТЫ: имена или номера установленных битов через запятую; "-" — ни одного.

Ключи (по умолчанию — сохранённые настройки программы):
  --port ИМЯ            порт
  --baud N              скорость, бит/с
  --parity none|odd|even|mark|space
  --chip НОМЕР|ИМЯ      микросхема
  --reload, --no-reload         обновлять буфер перед записью
  --signature, --no-signature   проверять сигнатуру
  --erase, --no-erase           стирать перед записью
  --verify, --no-verify         верифицировать после записи
  --set-locks, --no-set-locks   ставить биты защиты
  --skip-ff, --no-skip-ff       пропускать блоки из одних FF
  --timeout СЕК         предельное время операции (600)
  --quiet               без хода выполнения и пояснений
  --json                результат в JSON
  -h, --help            эта справка
  --version             версия программы

Коды выхода: 0 успех; 1 сбой программатора; 2 ошибка в командной строке;
3 нет программатора; 4 неверная сигнатура; 5 ошибка сверки; 6 ошибка файла.
)";
}

}  // namespace taktm
