#include "cli/db_records.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

namespace taktm {
namespace {

// Serialises the creation of the schema between stations starting at once.
constexpr qlonglong kSchemaLock = 0x74616B74;  // "takt"

// libpq's options the program sets unless the URI does: a bound on the
// connection's making, and on a network that stops answering.
const std::pair<const char*, const char*> kNetworkDefaults[] = {
    {"connect_timeout", "10"},     {"keepalives_idle", "10"},
    {"keepalives_interval", "5"},  {"keepalives_count", "3"},
    {"tcp_user_timeout", "30000"},
};

const char* const kSchemaV1[] = {
    "CREATE TABLE takt_counters ("
    " name text PRIMARY KEY,"
    " next bigint NOT NULL CHECK (next >= 0))",
    "CREATE TABLE takt_chips ("
    " id bigserial PRIMARY KEY,"
    " station text NOT NULL,"
    " counter text,"
    " time timestamptz NOT NULL,"
    " port text NOT NULL,"
    " device text,"
    " chip text,"
    " command text NOT NULL,"
    " file text,"
    " sha256 text,"
    " serial bigint,"
    " serial_used boolean,"
    " serial_sent boolean,"
    " status text NOT NULL,"
    " exit integer,"
    " signal text,"
    " message text,"
    " address bigint,"
    " bytes bigint,"
    " duration_ms bigint)",
    "CREATE INDEX takt_chips_serial ON takt_chips (counter, serial)",
    "CREATE INDEX takt_chips_station_time ON takt_chips (station, time)",
};

QVariant Text(const std::string& text) {
  return text.empty() ? QVariant(QMetaType::fromType<QString>())
                      : QVariant(QString::fromStdString(text));
}

QVariant Number(std::optional<uint64_t> value) {
  return value ? QVariant(static_cast<qlonglong>(*value))
               : QVariant(QMetaType::fromType<qlonglong>());
}

QVariant Flag(std::optional<bool> value) {
  return value ? QVariant(*value) : QVariant(QMetaType::fromType<bool>());
}

CounterResult Fail(std::string error) {
  CounterResult r;
  r.error = std::move(error);
  return r;
}

}  // namespace

Database::Database(DatabaseUri uri) : uri_(std::move(uri)) {
  QByteArray key;
  for (const auto& [k, v] : uri_.params) {
    key += QByteArray::fromStdString(k) + '\0' + QByteArray::fromStdString(v);
    key += '\0';
  }
  connection_ =
      "takt-db-" +
      QString::fromLatin1(
          QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex());
}

Database::~Database() {
  if (QSqlDatabase::contains(connection_)) {
    QSqlDatabase::database(connection_, false).close();
    QSqlDatabase::removeDatabase(connection_);
  }
}

std::string Database::Fail(const QSqlError& error) {
  broken_ = true;
  in_transaction_ = false;
  QString reason = error.databaseText().trimmed();
  if (reason.isEmpty()) reason = error.driverText().trimmed();
  if (reason.isEmpty()) reason = error.text().trimmed();
  reason.replace('\n', ' ');
  // The server's (or libpq's) own words follow ours.
  return (error.type() == QSqlError::ConnectionError
              ? "Нет связи с базой данных "
              : "Ошибка базы данных ") +
         uri_.shown + ": " + reason.toStdString();
}

std::string Database::Ready() {
  if (open_ && !broken_) return {};
  if (!QSqlDatabase::isDriverAvailable("QPSQL")) {
    return "База данных " + uri_.shown +
           ": нет драйвера PostgreSQL для Qt SQL (QPSQL)";
  }
  QSqlDatabase db = QSqlDatabase::contains(connection_)
                        ? QSqlDatabase::database(connection_, false)
                        : QSqlDatabase::addDatabase("QPSQL", connection_);
  db.close();
  // The fields that may hold any character go through the driver's own
  // quoting; the rest as options (which may not hold ';').
  QStringList options;
  std::vector<std::string> given;
  for (const auto& [key, value] : uri_.params) {
    const QString v = QString::fromStdString(value);
    if (key == "host") {
      db.setHostName(v);
    } else if (key == "dbname") {
      db.setDatabaseName(v);
    } else if (key == "user") {
      db.setUserName(v);
    } else if (key == "password") {
      db.setPassword(v);
    } else {
      if (value.find_first_of(";'\\ ") != std::string::npos) {
        return "Адрес базы данных " + uri_.shown + ": в значении " + key +
               " недопустимый знак (; ' \\ или пробел)";
      }
      options << QString::fromStdString(key) + "=" + v;
      given.push_back(key);
    }
  }
  // A server that does not answer, or a network gone quiet, must not hold
  // a chip forever: the URI may say otherwise.
  for (const auto& [key, value] : kNetworkDefaults) {
    if (std::find(given.begin(), given.end(), key) == given.end()) {
      options << QString::fromLatin1(key) + "=" + QString::fromLatin1(value);
    }
  }
  db.setConnectOptions(options.join(';'));
  open_ = false;
  in_transaction_ = false;
  if (!db.open()) return Fail(db.lastError());
  open_ = true;
  broken_ = false;
  // The server's notices ("already exists, skipping") are not the user's;
  // a station stuck while it holds the counter's row must not stop the
  // line: the others give up waiting after a while, and the server ends
  // the stuck transaction.
  for (const char* sql :
       {"SET client_min_messages TO warning", "SET lock_timeout TO '30s'",
        "SET idle_in_transaction_session_timeout TO '60s'"}) {
    if (std::string e = Run(sql); !e.empty()) return e;
  }
  return EnsureSchema();
}

QSqlQuery Database::Query(const QString& sql) {
  QSqlQuery query(QSqlDatabase::database(connection_, false));
  query.prepare(sql);
  return query;
}

std::string Database::Exec(QSqlQuery& query) {
  if (!query.exec()) return Fail(query.lastError());
  return {};
}

std::string Database::Run(const QString& sql) {
  QSqlQuery q(QSqlDatabase::database(connection_, false));
  if (!q.exec(sql)) return Fail(q.lastError());
  return {};
}

std::string Database::Begin() {
  if (std::string e = Ready(); !e.empty()) return e;
  if (std::string e = Run("BEGIN"); !e.empty()) return e;
  in_transaction_ = true;
  return {};
}

std::string Database::Commit() {
  std::string e = Run("COMMIT");
  in_transaction_ = false;
  return e;
}

void Database::Rollback() {
  if (!in_transaction_) return;
  in_transaction_ = false;
  QSqlQuery q(QSqlDatabase::database(connection_, false));
  if (!q.exec("ROLLBACK")) broken_ = true;
}

std::string Database::EnsureSchema() {
  if (std::string e = Run("BEGIN"); !e.empty()) return e;
  in_transaction_ = true;
  auto run = [this](const QString& sql) { return Run(sql); };
  QSqlQuery lock = Query("SELECT pg_advisory_xact_lock(?)");
  lock.addBindValue(kSchemaLock);
  if (std::string e = Exec(lock); !e.empty()) return e;
  if (std::string e = run("CREATE TABLE IF NOT EXISTS takt_schema ("
                          " version integer NOT NULL,"
                          " created timestamptz NOT NULL DEFAULT now())");
      !e.empty()) {
    return e;
  }
  QSqlQuery version = Query("SELECT max(version) FROM takt_schema");
  if (std::string e = Exec(version); !e.empty()) return e;
  const int have = version.next() && !version.value(0).isNull()
                       ? version.value(0).toInt()
                       : 0;
  if (have > kDatabaseSchemaVersion) {
    Rollback();
    return "База данных " + uri_.shown + ": схема версии " +
           std::to_string(have) + " новее этой программы (" +
           std::to_string(kDatabaseSchemaVersion) + ")";
  }
  if (have < 1) {
    for (const char* sql : kSchemaV1) {
      if (std::string e = run(sql); !e.empty()) return e;
    }
    if (std::string e = run("INSERT INTO takt_schema (version) VALUES (1)");
        !e.empty()) {
      return e;
    }
  }
  return Commit();
}

std::string DbSerialSource::name() const {
  return "счётчик \"" + counter_ + "\" в " + db_->uri().shown;
}

CounterResult DbSerialSource::Peek() {
  if (std::string e = db_->Ready(); !e.empty()) return Fail(e);
  QSqlQuery q = db_->Query("SELECT next FROM takt_counters WHERE name = ?");
  q.addBindValue(QString::fromStdString(counter_));
  if (std::string e = db_->Exec(q); !e.empty()) return Fail(e);
  CounterResult r;
  // A counter not yet in the table starts at 1 when first taken.
  r.value = q.next() ? static_cast<uint64_t>(q.value(0).toLongLong()) : 1;
  return r;
}

CounterResult DbSerialSource::Take(uint64_t max_value,
                                   const BeforeTake& before) {
  if (std::string e = db_->Begin(); !e.empty()) return Fail(e);
  const QString key = QString::fromStdString(counter_);
  QSqlQuery create = db_->Query(
      "INSERT INTO takt_counters (name, next) VALUES (?, 1) "
      "ON CONFLICT (name) DO NOTHING");
  create.addBindValue(key);
  if (std::string e = db_->Exec(create); !e.empty()) return Fail(e);
  // The row stays locked until the commit: the stations take in turn.
  QSqlQuery take = db_->Query(
      "UPDATE takt_counters SET next = next + 1 WHERE name = ? "
      "RETURNING next - 1");
  take.addBindValue(key);
  if (std::string e = db_->Exec(take); !e.empty()) return Fail(e);
  if (!take.next()) {
    db_->Rollback();
    return Fail("База данных " + db_->uri().shown + ": нет счётчика \"" +
                counter_ + "\"");
  }
  const uint64_t number = static_cast<uint64_t>(take.value(0).toLongLong());
  if (number > max_value) {
    db_->Rollback();
    return Fail("Номер " + std::to_string(number) + " из " + name() +
                " не помещается в место номера");
  }
  if (before) {
    if (std::string e = before(number); !e.empty()) {
      db_->Rollback();
      return Fail(e);
    }
  }
  if (std::string e = db_->Commit(); !e.empty()) return Fail(e);
  CounterResult r;
  r.value = number;
  return r;
}

std::string DbChipLog::Write(const ChipRecord& r) {
  // Inside the counter's transaction the row goes with the number.
  if (!db_->in_transaction()) {
    if (std::string e = db_->Ready(); !e.empty()) return e;
  }
  const QDateTime time = QDateTime::fromMSecsSinceEpoch(
      std::chrono::duration_cast<std::chrono::milliseconds>(
          r.time.time_since_epoch())
          .count(),
      Qt::UTC);
  const bool closing = !r.started;
  std::optional<bool> used;
  if (closing && r.serial) used = r.status == ExitStatus::kOk;
  const QVariant values[] = {
      Text(station_),
      Text(r.serials ? counter_ : std::string()),
      time,
      Text(r.port),
      Text(r.device),
      Text(r.chip),
      Text(r.command),
      Text(r.file),
      Text(r.sha256),
      Number(r.serial),
      Flag(used),
      Flag(r.serial_sent),
      Text(r.started ? "started" : ExitStatusName(r.status)),
      closing ? QVariant(static_cast<int>(r.status))
              : QVariant(QMetaType::fromType<int>()),
      Text(r.signal),
      Text(r.message),
      Number(r.address ? std::optional<uint64_t>(*r.address) : std::nullopt),
      closing ? QVariant(static_cast<qlonglong>(r.bytes))
              : QVariant(QMetaType::fromType<qlonglong>()),
      closing ? QVariant(static_cast<qlonglong>(r.duration_ms))
              : QVariant(QMetaType::fromType<qlonglong>()),
  };
  const auto found = started_.find(r.port);
  if (closing && found != started_.end() && r.serial &&
      found->second.first == *r.serial) {
    const qlonglong id = found->second.second;
    started_.erase(found);
    QSqlQuery update = db_->Query(
        "UPDATE takt_chips SET station = ?, counter = ?, time = ?, port = ?,"
        " device = ?, chip = ?, command = ?, file = ?, sha256 = ?,"
        " serial = ?, serial_used = ?, serial_sent = ?, status = ?,"
        " exit = ?, signal = ?, message = ?, address = ?, bytes = ?,"
        " duration_ms = ? WHERE id = ?");
    for (const QVariant& v : values) update.addBindValue(v);
    update.addBindValue(id);
    if (std::string e = db_->Exec(update); !e.empty()) return e;
    // A started row whose number's transaction failed was never kept.
    if (update.numRowsAffected() == 1) return {};
  }
  QSqlQuery insert = db_->Query(
      "INSERT INTO takt_chips (station, counter, time, port, device, chip,"
      " command, file, sha256, serial, serial_used, serial_sent, status,"
      " exit, signal, message, address, bytes, duration_ms)"
      " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"
      " RETURNING id");
  for (const QVariant& v : values) insert.addBindValue(v);
  if (std::string e = db_->Exec(insert); !e.empty()) return e;
  if (r.started && r.serial && insert.next()) {
    started_[r.port] = {*r.serial, insert.value(0).toLongLong()};
  }
  return {};
}

std::string InitDatabase(const std::string& uri_text) {
  std::string error;
  std::optional<DatabaseUri> uri = ParseDatabaseUri(uri_text, &error);
  if (!uri) return error;
  Database db(std::move(*uri));
  return db.Ready();
}

}  // namespace taktm
