#include "cli/cli_args.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <utility>

#include "cli/command_table.h"
#include "cli/db_uri.h"
#include "cli/file_options.h"
#include "cli/memory_commands.h"
#include "cli/program_args.h"
#include "cli/serial_form.h"
#include "cli/short_options.h"
#include "programming/opcodes.h"
#include "programming/operation_table.h"
#include "widgets/int_text.h"

namespace taktm {
namespace {

// A pair of flags that tick (`on`) or untick (`off`) some of the settings
// dialog's options.
struct OptionFlag {
  const char* on;
  const char* off;
  std::initializer_list<Option> options;
};

const OptionFlag kOptionFlags[] = {
    {"--reload", "--no-reload", {Option::kReloadFlash, Option::kReloadEeprom}},
    {"--signature",
     "--no-signature",
     {Option::kSignatureBeforeErase, Option::kSignatureAfterErase,
      Option::kSignatureBeforeEeprom}},
    {"--erase", "--no-erase", {Option::kEraseAll, Option::kEraseEeprom}},
    {"--verify", "--no-verify", {Option::kVerifyFlash, Option::kVerifyEeprom}},
    {"--set-locks", "--no-set-locks", {Option::kSetLockBits}},
    // "перезаписывать FF" ticked writes all-0xFF chunks too.
    {"--no-skip-ff", "--skip-ff", {Option::kRewriteFf}},
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

ParsedArgs ParseCliArgs(const std::vector<std::string>& typed) {
  // Short options are read as their long forms, under the same rules.
  const std::vector<std::string> args = ExpandShortOptions(typed);
  ParsedArgs result;
  CliOptions options;
  std::vector<std::string> words;
  std::vector<std::string> given;  // options that take one value
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
    if (arg == "--quiet" || arg == "--json" || arg == "--defaults" ||
        arg == "--probe") {
      if (inline_value) return fail("Ключ " + arg + " не принимает значения");
      (arg == "--quiet"      ? options.quiet
       : arg == "--json"     ? options.json
       : arg == "--defaults" ? options.defaults
                             : options.probe) = true;
      continue;
    }
    const auto flag = std::find_if(
        std::begin(kOptionFlags), std::end(kOptionFlags),
        [&](const OptionFlag& f) { return arg == f.on || arg == f.off; });
    if (flag != std::end(kOptionFlags)) {
      if (inline_value) return fail("Ключ " + arg + " не принимает значения");
      for (Option o : flag->options) options.option_flags[o] = arg == flag->on;
      continue;
    }
    if (!IsValueOption(arg)) return fail("Неизвестный ключ " + arg);
    // A second value would silently win over the first.
    if (arg != "--port" &&
        std::find(given.begin(), given.end(), arg) != given.end()) {
      return fail("Ключ " + arg + " указан дважды");
    }
    given.push_back(arg);
    const std::optional<std::string> v = value();
    if (!v) return fail("Ключу " + arg + " нужно значение");
    if (arg == "--port") {
      // A comma list names several ports; each may be given only once.
      size_t from = 0;
      while (from <= v->size()) {
        size_t comma = v->find(',', from);
        if (comma == std::string::npos) comma = v->size();
        const std::string name = Trim(v->substr(from, comma - from));
        from = comma + 1;
        if (name.empty()) return fail("Пустое имя порта");
        if (std::find(options.ports.begin(), options.ports.end(), name) !=
            options.ports.end()) {
          return fail("Порт " + name + " указан дважды");
        }
        options.ports.push_back(name);
      }
      options.port = options.ports.front();
    } else if (arg == "--serial") {
      std::string error;
      options.serial = ParseSerialWithMemory(*v, &error);
      if (!options.serial) return fail(error);
    } else if (IsProgramOption(arg)) {
      if (const std::string error = TakeProgramOption(arg, *v, options);
          !error.empty()) {
        return fail(error);
      }
    } else if (arg == "--format" || arg == "--offset") {
      if (const std::string error = ParseFileOption(arg, *v, &options);
          !error.empty()) {
        return fail(error);
      }
    } else if (arg == "--log") {
      if (v->empty()) return fail("Пустое имя журнала");
      options.log = *v;
    } else if (arg == "--serial-name" || arg == "--station") {
      if (v->empty()) return fail("Пустое значение ключа " + arg);
      (arg == "--station" ? options.station : options.serial_name) = *v;
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
    } else if (arg == "--trace") {
      if (v->empty()) return fail("Пустое имя файла трассировки");
      options.trace = *v;
    } else if (arg == "--range") {
      std::string error;
      options.range = ParseRange(*v, &error);
      if (!options.range) return fail(error);
    } else if (arg == "--probe-ms") {
      const std::optional<int32_t> ms = ParseInt32(*v);
      if (!ms || *ms <= 0 || *ms > 60000 || !AllDigits(*v)) {
        return fail("Неверный срок поиска программатора: " + *v +
                    " (1..60000 мс)");
      }
      options.probe_ms = *ms;
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
  const bool memory_word = entry->command == CliCommand::kBlankCheck ||
                           entry->command == CliCommand::kChecksum;
  const size_t wanted =
      (entry->takes_file || entry->takes_bits || memory_word) ? 2 : 1;
  if (words.size() < wanted) {
    return fail(std::string("Команде ") + entry->name + " нужен аргумент " +
                (memory_word         ? "flash|eeprom"
                 : entry->takes_file ? "ФАЙЛ"
                                     : "БИТЫ"));
  }
  if (words.size() > wanted) {
    return fail(std::string("Лишний аргумент ") + words[wanted]);
  }
  if (entry->takes_file) {
    if (words[1].empty()) return fail("Пустое имя файла");
    options.file = words[1];
  }
  if (entry->takes_bits) options.bits = words[1];
  if (memory_word) {
    if (const std::string error = TakeMemoryArgument(words[1], options);
        !error.empty()) {
      return fail(error);
    }
  }
  if (options.range && !entry->takes_range) {
    return fail(std::string("Ключ --range — для чтения, сверки, blank-check "
                            "и checksum, не для ") +
                entry->name);
  }
  if (options.ports.size() > 1 && !entry->several_ports) {
    return fail(std::string("Команда ") + entry->name +
                " выполняется только на одном порту");
  }
  if (options.serial && options.command != CliCommand::kWriteFlash &&
      options.command != CliCommand::kWriteEeprom &&
      options.command != CliCommand::kProgram) {
    return fail(
        "Ключ --serial — только для write-flash, write-eeprom и "
        "program");
  }
  if (const std::string error = CheckProgramOptions(options); !error.empty()) {
    return fail(error);
  }
  if (!options.trace.empty() &&
      (options.command == CliCommand::kPorts || !NeedsDevice(options))) {
    return fail(std::string("Трассировка (--trace) — для команд с "
                            "программатором, не для ") +
                entry->name);
  }
  if (options.probe && options.command != CliCommand::kPorts) {
    return fail("Ключ --probe — только для команды ports");
  }
  if (!options.log.empty() && (!entry->needs_chip || !NeedsDevice(options))) {
    return fail(std::string("Журнал (--log) ведётся для команд с "
                            "микросхемой, не для ") +
                entry->name);
  }
  if (options.serial_name &&
      (!options.serial || !IsDatabaseUri(options.serial->file))) {
    return fail("Ключ --serial-name — только для счётчика в базе данных");
  }
  if (options.station && !IsDatabaseUri(options.log)) {
    return fail("Ключ --station — только для журнала в базе данных");
  }
  if (const std::string error = CheckFileOptions(options); !error.empty()) {
    return fail(error);
  }
  result.options = options;
  return result;
}

std::optional<SerialOption> ParseSerialOption(const std::string& text,
                                              std::string* error) {
  const std::string form =
      "Неверный ключ --serial \"" + text +
      "\": нужно АДРЕС:[list=]ФАЙЛ[:ШИРИНА][:ФОРМАТ][:be][:step=N], например "
      "0x1FFC:serial.txt";
  SerialOption serial;
  const size_t colon = text.find(':');
  if (colon == std::string::npos) {
    *error = form;
    return std::nullopt;
  }
  const std::string address = Lower(text.substr(0, colon));
  uint64_t value = 0;
  const bool hex = address.rfind("0x", 0) == 0;
  const std::string digits = hex ? address.substr(2) : address;
  const std::string allowed = hex ? "0123456789abcdef" : "0123456789";
  if (digits.empty() || digits.size() > 10 ||
      digits.find_first_not_of(allowed) != std::string::npos) {
    *error = form;
    return std::nullopt;
  }
  for (const char c : digits) {
    value = value * (hex ? 16 : 10) +
            static_cast<uint64_t>(c <= '9' ? c - '0' : c - 'a' + 10);
  }
  if (value > 0xFFFFFFFFu) {
    *error = "Адрес номера за пределами 32 бит: " + text.substr(0, colon);
    return std::nullopt;
  }
  serial.address = static_cast<uint32_t>(value);
  // FILE[:WIDTH[:FORMAT]], the optional parts from the right.
  std::string rest = text.substr(colon + 1);
  std::optional<std::string> width;
  // A database URI's own colons (user:password, host:port) come first.
  const size_t floor = SerialSuffixFloor(rest);
  auto last_field = [&rest, floor]() -> std::string {
    const size_t at = rest.rfind(':');
    return at == std::string::npos || at < floor ? std::string()
                                                 : rest.substr(at + 1);
  };
  // WIDTH, FORMAT, the byte order (be, le) and step=N, in any order, each
  // once.
  bool format_seen = false;
  bool order_seen = false;
  bool step_seen = false;
  for (;;) {
    const std::string f = last_field();
    if (!format_seen && (f == "bin" || f == "dec")) {
      serial.format =
          f == "dec" ? SerialFormat::kDecimal : SerialFormat::kBinary;
      format_seen = true;
    } else if (!format_seen && f.rfind("text=", 0) == 0) {
      serial.format = SerialFormat::kText;
      serial.text = f.substr(5);
      format_seen = true;
    } else if (!order_seen && (f == "be" || f == "le")) {
      serial.big_endian = f == "be";
      order_seen = true;
    } else if (!step_seen && f.rfind("step=", 0) == 0) {
      const std::string n = f.substr(5);
      const std::optional<int32_t> step =
          AllDigits(n) && n.size() <= 9 ? ParseInt32(n) : std::nullopt;
      if (!step || *step < 1) {
        *error = "Неверный шаг номера: " + f + " (нужно step=N, N от 1)";
        return std::nullopt;
      }
      serial.step = static_cast<uint64_t>(*step);
      step_seen = true;
    } else if (!width && AllDigits(f)) {
      width = f;
    } else {
      break;
    }
    rest.resize(rest.size() - f.size() - 1);
  }
  if (rest.empty()) {
    *error = form;
    return std::nullopt;
  }
  if (serial.big_endian && serial.format == SerialFormat::kDecimal) {
    *error = "Порядок байтов (be) — только для двоичного номера (bin)";
    return std::nullopt;
  }
  serial.file = rest;
  if (width) {
    const int max = SerialWidthLimit(serial.format);
    const std::optional<int32_t> w =
        width->size() <= 2 ? ParseInt32(*width) : std::nullopt;
    if (!w || *w < 1 || *w > max) {
      *error = "Неверная ширина номера: " + *width + " (1.." +
               std::to_string(max) + " " + SerialWidthUnit(serial.format) + ")";
      return std::nullopt;
    }
    serial.width = *w;
  }
  // The list and the text template.
  if (std::string refused = FinishSerialForm(width.has_value(), &serial);
      !refused.empty()) {
    *error = std::move(refused);
    return std::nullopt;
  }
  return serial;
}

int FindChipRow(const std::string& entry,
                const std::vector<std::string>& rows) {
  if (AllDigits(entry)) {
    const std::optional<int32_t> index = ParseInt32(entry);
    if (index && *index < static_cast<int32_t>(rows.size())) return *index;
  }
  for (const bool exact : {true, false}) {
    int found = -1;
    for (size_t i = 0; i < rows.size(); ++i) {
      if (exact ? rows[i] == entry : Lower(rows[i]) == Lower(entry)) {
        if (found >= 0) return kAmbiguousChip;
        found = static_cast<int>(i);
      }
    }
    if (found >= 0) return found;
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
)" + CommandUsageLines() +
         R"(БИТЫ: имена или номера установленных битов через запятую; "-" — ни одного.

Ключи (по умолчанию — сохранённые настройки программы):
  -p, --port ИМЯ        порт
  --port auto           найти порт, на котором отвечает программатор
  --port auto:ШАБЛОН    искать только среди имён по шаблону (/dev/ttyUSB*)
  --port usb-serial:НОМЕР  адаптер с этим USB серийным номером
  --probe-ms МС         срок поиска программатора (5500)
  -b, --baud N          скорость, бит/с
  --parity none|odd|even|mark|space
  -c, --chip НОМЕР|ИМЯ  микросхема
  --reload, --no-reload         обновлять буфер перед записью
  --signature, --no-signature   проверять сигнатуру
  --erase, --no-erase           стирать перед записью
  --verify, --no-verify         верифицировать после записи
  --set-locks, --no-set-locks   ставить биты защиты
  --skip-ff, --no-skip-ff       пропускать блоки из одних FF
  --format auto|ihex|srec|elf|raw
                        формат ФАЙЛА (auto: по содержимому, см. man)
  --offset АДРЕС        двоичный (raw) образ с адреса АДРЕС; ниже него
                        микросхема не записывается и не сверяется
  --defaults            не читать сохранённые настройки программы
  ФАЙЛ "-"              стандартный ввод (запись, сверка) или вывод (чтение)
  --timeout СЕК         предельное время операции (600)
  --range НАЧАЛО:ДЛИНА  только эти байты памяти (чтение, сверка, blank-check,
                        checksum); например 0x1000:256
  --flash ФАЙЛ          program: образ памяти программ
  --eeprom ФАЙЛ         program: образ EEPROM
  --fuses БИТЫ          program: FUSE биты (как у write-fuses)
  --locks БИТЫ          program: LOCK биты (как у write-locks)
  --port ИМЯ,ИМЯ...     несколько программаторов сразу (или --port несколько раз)
  --serial АДРЕС:ФАЙЛ[:ШИРИНА][:bin|dec][:be][:step=N]
                        серийный номер из файла-счётчика в каждую микросхему
                        (be: старший байт первым; step=N: шаг счётчика)
  --serial АДРЕС:list=ФАЙЛ[:ШИРИНА][:bin|dec][:be]
                        номера по порядку из списка (по одному в строке)
  --serial АДРЕС:ФАЙЛ:ШИРИНА:text=SN-%06d
                        номер текстом по шаблону (ASCII, добивка байтами 0x00)
                        eeprom:АДРЕС:… — номер в EEPROM (у program; иначе
                        память программ)
  --serial АДРЕС:postgresql://…[:ШИРИНА[:bin|dec]]
                        номер из счётчика в базе данных (имя: ?counter=ИМЯ)
  --serial-name ИМЯ     имя счётчика в базе данных (default)
  --log ФАЙЛ            журнал: строка JSON на каждую микросхему
  --log postgresql://…  журнал в базе данных: строка на каждую микросхему
  --station ИМЯ         имя станции в журнале базы данных (имя компьютера)
  --trace ФАЙЛ          все кадры обмена с временем, для сообщения об ошибке
  -q, --quiet           без хода выполнения и пояснений
  --json                результат в JSON
  -h, --help            эта справка
  -V, --version         версия программы

Коды выхода: 0 успех; 1 сбой программатора; 2 ошибка в командной строке
(и программатор найден на нескольких портах); 3 нет программатора;
4 неверная сигнатура; 5 ошибка сверки (и память не чиста в blank-check);
6 ошибка файла или базы данных.

takt-m-cli db-init postgresql://…   создать таблицы в базе данных
)";
}

}  // namespace taktm
