#include "cli/file_roles.h"

#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "cli/db_uri.h"
#include "cli/serial_form.h"

namespace taktm {
namespace {

// Names are UTF-8 everywhere in the program, also on Windows.
std::filesystem::path Utf8Path(const std::string& name) {
  return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
  namespace fs = std::filesystem;
  const fs::path pa = Utf8Path(a);
  const fs::path pb = Utf8Path(b);
  std::error_code error;
  const bool same = fs::equivalent(pa, pb, error);
  if (!error) return same;  // both exist
  // One is still to be made: where would it be?
  std::error_code ea;
  std::error_code eb;
  const fs::path ca = fs::weakly_canonical(fs::absolute(pa, ea), ea);
  const fs::path cb = fs::weakly_canonical(fs::absolute(pb, eb), eb);
  return !ea && !eb && ca == cb;
}

std::string SharedFileError(const CliOptions& options) {
  const CommandEntry& entry = EntryOf(options.command);
  std::vector<std::pair<std::string, std::string>> roles;  // file, role
  if (options.serial && options.serial->list) {
    roles.emplace_back(options.serial->file, "список номеров (--serial)");
    roles.emplace_back(TakenPathOf(options.serial->file),
                       "счёт выданных номеров списка (--serial)");
  } else if (options.serial) {
    roles.emplace_back(options.serial->file, "счётчик номеров (--serial)");
  }
  if (!options.log.empty()) roles.emplace_back(options.log, "журнал (--log)");
  if (!options.trace.empty()) {
    roles.emplace_back(options.trace, "трассировка (--trace)");
  }
  if (entry.takes_file) {
    roles.emplace_back(options.file,
                       std::string(entry.file_is_input ? "образ" : "файл") +
                           " команды " + entry.name);
  }
  if (!options.flash_file.empty()) {
    roles.emplace_back(options.flash_file, "образ памяти программ (--flash)");
  }
  if (!options.eeprom_file.empty()) {
    roles.emplace_back(options.eeprom_file, "образ EEPROM (--eeprom)");
  }
  // Tables of a database are not files: the counter and the log may share
  // one database.
  for (size_t i = 0; i < roles.size(); ++i) {
    for (size_t j = i + 1; j < roles.size(); ++j) {
      if (IsDatabaseUri(roles[i].first) || IsDatabaseUri(roles[j].first)) {
        continue;
      }
      if (SameFile(roles[i].first, roles[j].first)) {
        return "Один файл в двух ролях: \"" + roles[j].first + "\" — " +
               roles[i].second + " и " + roles[j].second;
      }
    }
  }
  return {};
}

}  // namespace taktm
