#include "cli/serial_counter.h"

#include <sys/stat.h>

#include <climits>
#include <string_view>

#include "cli/durable_file.h"
#include "cli/locked_record.h"
#include "cli/serial_stamp.h"

namespace taktm {
namespace {

constexpr char kNoun[] = "Файл счётчика";

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

CounterResult Fail(std::string error) {
  CounterResult r;
  r.error = std::move(error);
  return r;
}

std::optional<uint64_t> ReadValue(int fd, const std::string& path,
                                  std::string* error) {
  int e = 0;
  // No counter is longer than 4 KiB.
  const std::optional<std::string> text = ReadRecord(fd, 4096, &e);
  if (!text) {
    *error =
        "Файл счётчика " + Quoted(path) + " не читается: " + RecordReason(e);
    return std::nullopt;
  }
  const std::optional<uint64_t> value = ParseCounterText(*text);
  if (!value) {
    *error = "В файле счётчика " + Quoted(path) +
             " нет числа (нужен следующий номер десятичными цифрами, "
             "например: echo 1000 > " +
             path + ")";
  }
  return value;
}

}  // namespace

CounterResult PeekCounter(const std::string& path) {
  RecordFd fd;
  std::string error;
  const std::optional<std::string> real =
      OpenRecordToRead(path, kNoun, fd, &error);
  if (!real) return Fail(error);
  CounterResult r;
  r.value = ReadValue(fd.get(), path, &r.error);
  const int writable = r.value ? FolderWritable(FolderOf(*real)) : 0;
  if (writable != 0) {
    r.value.reset();
    r.error = "Файл счётчика " + Quoted(path) + " нельзя обновить: в папку " +
              Quoted(FolderOf(*real)) + " нельзя писать (" +
              RecordReason(writable) + ")";
  }
  return r;
}

CounterResult TakeSerial(const std::string& path, uint64_t max_value,
                         const BeforeTake& before, uint64_t step) {
  int e = 0;
  const std::optional<std::string> real = ResolvedPath(path, &e);
  if (!real) {
    return Fail("Файл счётчика " + Quoted(path) +
                " не открывается: " + RecordReason(e));
  }
  RecordFd lock;
  struct stat st {};
  std::string error;
  if (!OpenLockedRecord(*real, kNoun, lock, st, &error)) return Fail(error);
  const std::optional<uint64_t> value = ReadValue(lock.get(), path, &error);
  if (!value) return Fail(error);
  if (*value > max_value) {
    return Fail("Номер " + std::to_string(*value) + " из " + Quoted(path) +
                " не помещается в место номера");
  }
  if (step == 0 || *value > UINT64_MAX - step) {
    return Fail("Счётчик " + Quoted(path) + " исчерпан");
  }
  if (before) {
    if (std::string refused = before(*value); !refused.empty()) {
      return Fail(std::move(refused));
    }
  }
  // The next value replaces the old one before the number is handed out:
  // from here on the number is taken, whatever happens to the chip.
  bool renamed = false;
  if (const int e = ReplaceRecord(*real, std::to_string(*value + step) + "\n",
                                  st, &renamed)) {
    return Fail(
        std::string(renamed ? "Не удалось сохранить" : "Не удалось обновить") +
        " файл счётчика " + Quoted(path) + ": " + RecordReason(e));
  }
  CounterResult r;
  r.value = value;
  return r;
}

}  // namespace taktm
