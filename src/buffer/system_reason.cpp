#include "buffer/system_reason.h"

#include <cerrno>

namespace taktm {
namespace {

class FileErrorCategory : public std::error_category {
 public:
  const char* name() const noexcept override { return "takt-file"; }
  std::string message(int value) const override {
    switch (static_cast<FileErrc>(value)) {
      case FileErrc::kNotRegularFile:
        return "Это не обычный файл";
      case FileErrc::kStalled:
        return "Канал или устройство не принимает данные";
      case FileErrc::kIncomplete:
        return "Файл записан не полностью";
      case FileErrc::kBadName:
        return "Недопустимое имя файла";
    }
    return "Ошибка файла";
  }
};

struct Text {
  std::errc code;
  const char* text;
};

constexpr Text kTexts[] = {
    {std::errc::no_such_file_or_directory, "Нет такого файла или папки"},
    {std::errc::permission_denied, "Нет прав доступа"},
    {std::errc::operation_not_permitted, "Операция не разрешена"},
    {std::errc::read_only_file_system, "Файловая система только для чтения"},
    {std::errc::no_space_on_device, "На диске нет места"},
    {std::errc::file_too_large, "Файл слишком велик"},
    {std::errc::is_a_directory, "Это папка"},
    {std::errc::not_a_directory, "Часть пути не является папкой"},
    {std::errc::io_error, "Ошибка ввода-вывода"},
    {std::errc::no_such_device_or_address,
     "Устройство недоступно или у канала нет читающего процесса"},
    {std::errc::no_such_device, "Устройство недоступно"},
    {std::errc::too_many_symbolic_link_levels,
     "Слишком много символических ссылок"},
    {std::errc::filename_too_long, "Слишком длинное имя файла"},
    {std::errc::text_file_busy, "Файл занят"},
    {std::errc::broken_pipe, "Читающий процесс закрыл канал"},
};

}  // namespace

const std::error_category& FileCategory() {
  static const FileErrorCategory category;
  return category;
}

std::error_code make_error_code(FileErrc e) {
  return {static_cast<int>(e), FileCategory()};
}

std::string SystemReason(const std::error_code& error) {
  if (error.category() == FileCategory()) return error.message();
#if defined(EDQUOT) && !defined(_WIN32)
  // No portable name for it; on POSIX systems the number is the errno.
  if (error.value() == EDQUOT && (error.category() == std::generic_category() ||
                                  error.category() == std::system_category())) {
    return "Превышена дисковая квота";
  }
#endif
#ifdef _WIN32
  // Windows has no errno for it; the file layer passes its own code on.
  constexpr int kDiskQuotaExceeded = 1295;  // ERROR_DISK_QUOTA_EXCEEDED
  if (error == std::error_code(kDiskQuotaExceeded, std::system_category())) {
    return "Превышена дисковая квота";
  }
#endif
  for (const Text& t : kTexts) {
    if (error == t.code) return t.text;
  }
  return error.message();
}

}  // namespace taktm
