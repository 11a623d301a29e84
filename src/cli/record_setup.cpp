#include "cli/record_setup.h"

#include <QSysInfo>

#include "cli/db_records.h"
#include "cli/db_uri.h"
#include "cli/serial_form.h"
#include "cli/serial_list.h"

namespace taktm {

std::string OpenRecordStores(const CliOptions& options, RecordStores* stores) {
  // The counter and the log in one database share its connection, so that
  // a number and its started row are committed together.
  std::shared_ptr<Database> serial_db;
  std::string counter_name;
  if (options.serial) {
    const SerialOption& serial = *options.serial;
    if (IsDatabaseUri(serial.file)) {
      if (serial.step != 1) {
        return "Шаг номера (:step=) — только для счётчика в файле";
      }
      std::string error;
      std::optional<DatabaseUri> uri = ParseDatabaseUri(serial.file, &error);
      if (!uri) return error;
      counter_name = options.serial_name.value_or(
          uri->counter.value_or(std::string("default")));
      serial_db = std::make_shared<Database>(std::move(*uri));
      stores->counter =
          std::make_unique<DbSerialSource>(serial_db, counter_name);
    } else if (serial.list) {
      stores->counter = std::make_unique<ListSerialSource>(
          serial.file, SerialMaxValue(serial));
    } else {
      stores->counter =
          std::make_unique<FileSerialSource>(serial.file, serial.step);
    }
    const CounterResult counter = stores->counter->Peek();
    if (!counter.value) return counter.error;
    if (*counter.value > SerialMaxValue(serial)) {
      return "Номер " + std::to_string(*counter.value) + " из " +
             stores->counter->name() + " не помещается в " +
             std::to_string(serial.width) + " " +
             SerialWidthUnit(serial.format);
    }
  }
  if (options.log.empty()) return {};
  if (!IsDatabaseUri(options.log)) {
    auto file = std::make_unique<FileChipLog>();
    std::string error = file->Open(options.log);
    stores->log = std::move(file);
    return error;
  }
  std::string error;
  std::optional<DatabaseUri> uri = ParseDatabaseUri(options.log, &error);
  if (!uri) return error;
  std::shared_ptr<Database> log_db =
      serial_db && serial_db->uri().params == uri->params
          ? serial_db
          : std::make_shared<Database>(std::move(*uri));
  const std::string station =
      options.station.value_or(QSysInfo::machineHostName().toStdString());
  auto log = std::make_unique<DbChipLog>(log_db, station, counter_name);
  error = log->Open();
  stores->log = std::move(log);
  return error;
}

}  // namespace taktm
