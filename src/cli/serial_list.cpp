#include "cli/serial_list.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <unordered_map>

#include "cli/durable_file.h"
#include "cli/locked_record.h"
#include "cli/memory_commands.h"
#include "cli/serial_form.h"
#include "cli/serial_stamp.h"

namespace taktm {
namespace {

constexpr char kNoun[] = "Список номеров";
// A list of a million numbers is some 20 MB; more is no list.
constexpr size_t kMaxListBytes = size_t{64} << 20;

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

CounterResult Fail(std::string error) {
  CounterResult r;
  r.error = std::move(error);
  return r;
}

// The list read whole from an open descriptor and checked.
std::optional<std::vector<uint64_t>> ReadList(int fd, const std::string& path,
                                              uint64_t max_value,
                                              std::string* error) {
  int e = 0;
  const std::optional<std::string> text = ReadRecord(fd, kMaxListBytes, &e);
  if (!text) {
    *error =
        "Список номеров " + Quoted(path) + " не читается: " + RecordReason(e);
    return std::nullopt;
  }
  if (text->size() > kMaxListBytes) {
    *error = "Список номеров " + Quoted(path) + " слишком велик";
    return std::nullopt;
  }
  return ParseSerialList(*text, max_value, path, error);
}

// How many numbers of the list were taken: 0 while its file is absent.
std::optional<uint64_t> ReadTaken(const std::string& taken, struct stat* st,
                                  std::string* error) {
  RecordFd fd(OpenDurable(taken, O_RDONLY));
  if (fd.get() < 0) {
    if (errno == ENOENT) return 0;
    *error = "Файл выданных номеров " + Quoted(taken) +
             " не открывается: " + RecordReason(errno);
    return std::nullopt;
  }
  if (st != nullptr && ::fstat(fd.get(), st) != 0) {
    *error =
        "Файл выданных номеров " + Quoted(taken) + ": " + RecordReason(errno);
    return std::nullopt;
  }
  int e = 0;
  const std::optional<std::string> text = ReadRecord(fd.get(), 4096, &e);
  std::optional<uint64_t> count;
  if (text) count = ParseCounterText(*text);
  if (!count) {
    *error = "Файл выданных номеров " + Quoted(taken) +
             (text ? " испорчен: в нём нет числа"
                   : " не читается: " + RecordReason(e));
  }
  return count;
}

// The number at `count`, or why there is none.
CounterResult NextOf(const std::vector<uint64_t>& values, uint64_t count,
                     const std::string& path, const std::string& taken) {
  if (count > values.size()) {
    return Fail("Список номеров " + Quoted(path) +
                " короче, чем уже выдано: номеров в нём " +
                std::to_string(values.size()) + ", а по " + Quoted(taken) +
                " выдано " + std::to_string(count) + " (список укоротили?)");
  }
  if (count == values.size()) {
    return Fail("Список номеров " + Quoted(path) +
                " исчерпан: выданы все его номера (" +
                std::to_string(values.size()) + ")");
  }
  CounterResult r;
  r.value = values[count];
  return r;
}

}  // namespace

std::optional<std::vector<uint64_t>> ParseSerialList(std::string_view text,
                                                     uint64_t max_value,
                                                     const std::string& shown,
                                                     std::string* error) {
  std::vector<uint64_t> values;
  std::unordered_map<uint64_t, size_t> line_of;
  size_t line = 0;
  while (!text.empty()) {
    ++line;
    const size_t end = text.find('\n');
    std::string_view row = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (const size_t hash = row.find('#'); hash != std::string_view::npos) {
      row = row.substr(0, hash);
    }
    const auto blank = [](char c) {
      return c == ' ' || c == '\t' || c == '\r';
    };
    while (!row.empty() && blank(row.front())) row.remove_prefix(1);
    while (!row.empty() && blank(row.back())) row.remove_suffix(1);
    if (row.empty()) continue;
    const std::string at =
        "Список номеров " + Quoted(shown) + ", строка " + std::to_string(line);
    const std::optional<uint64_t> value = ParseNumber(row);
    if (!value) {
      *error = at +
               ": не номер (нужно одно число в строке: десятичное или "
               "шестнадцатеричное после 0x)";
      return std::nullopt;
    }
    if (*value > max_value) {
      *error = at + ": номер " + std::to_string(*value) +
               " не помещается в место номера (наибольший " +
               std::to_string(max_value) + ")";
      return std::nullopt;
    }
    const auto [seen, fresh] = line_of.emplace(*value, line);
    if (!fresh) {
      *error = at + ": номер " + std::to_string(*value) +
               " уже есть в строке " + std::to_string(seen->second);
      return std::nullopt;
    }
    values.push_back(*value);
  }
  return values;
}

CounterResult PeekList(const std::string& path, uint64_t max_value) {
  RecordFd fd;
  std::string error;
  const std::optional<std::string> real =
      OpenRecordToRead(path, kNoun, fd, &error);
  if (!real) return Fail(error);
  const std::optional<std::vector<uint64_t>> values =
      ReadList(fd.get(), path, max_value, &error);
  if (!values) return Fail(error);
  const std::string taken = TakenPathOf(*real);
  const std::optional<uint64_t> count = ReadTaken(taken, nullptr, &error);
  if (!count) return Fail(error);
  if (const int writable = FolderWritable(FolderOf(*real))) {
    return Fail("Счёт выданных номеров " + Quoted(taken) +
                " нельзя обновить: в папку " + Quoted(FolderOf(*real)) +
                " нельзя писать (" + RecordReason(writable) + ")");
  }
  return NextOf(*values, *count, path, taken);
}

CounterResult TakeFromList(const std::string& path, uint64_t max_value,
                           const BeforeTake& before) {
  int e = 0;
  const std::optional<std::string> real = ResolvedPath(path, &e);
  if (!real) {
    return Fail("Список номеров " + Quoted(path) +
                " не открывается: " + RecordReason(e));
  }
  // The list's lock guards its count: the count's file is replaced, the
  // list never is.
  RecordFd lock;
  struct stat list_st {};
  std::string error;
  if (!OpenLockedRecord(*real, kNoun, lock, list_st, &error)) {
    return Fail(error);
  }
  const std::optional<std::vector<uint64_t>> values =
      ReadList(lock.get(), path, max_value, &error);
  if (!values) return Fail(error);
  const std::string taken = TakenPathOf(*real);
  // A new count file gets the list's mode, writable by its owner (a list
  // may be kept read-only).
  struct stat taken_st = list_st;
  taken_st.st_mode |= S_IWUSR;
  const std::optional<uint64_t> count = ReadTaken(taken, &taken_st, &error);
  if (!count) return Fail(error);
  CounterResult next = NextOf(*values, *count, path, taken);
  if (!next.value) return next;
  if (before) {
    if (std::string refused = before(*next.value); !refused.empty()) {
      return Fail(std::move(refused));
    }
  }
  // The count moves on before the number is handed out: from here on the
  // number is taken, whatever happens to the chip.
  bool renamed = false;
  if (const int e = ReplaceRecord(taken, std::to_string(*count + 1) + "\n",
                                  taken_st, &renamed)) {
    return Fail(
        std::string(renamed ? "Не удалось сохранить" : "Не удалось обновить") +
        " счёт выданных номеров " + Quoted(taken) + ": " + RecordReason(e));
  }
  return next;
}

}  // namespace taktm
