// The serial counter and the production log in a PostgreSQL database that
// the stations of a line share (through Qt SQL's PostgreSQL driver). A
// number is taken in a committed transaction that moves the counter and,
// when the log is in the same database, writes its "started" row: the two
// are kept together or not at all. A chip's row is committed before its
// run reports success.
#ifndef TAKT_CLI_DB_RECORDS_H_
#define TAKT_CLI_DB_RECORDS_H_

#include <QString>
#include <map>
#include <memory>
#include <string>

#include "cli/db_uri.h"
#include "cli/record_stores.h"

class QSqlError;
class QSqlQuery;

namespace taktm {

// The schema this program writes; a database holding a later one is
// refused rather than written in a form its tables do not have.
inline constexpr int kDatabaseSchemaVersion = 1;

// One connection to one database, shared by the counter and the log that
// name it. A statement that fails marks the connection broken; the next
// use connects anew, so a server back up serves the next chip.
class Database {
 public:
  explicit Database(DatabaseUri uri);
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // Connects (again, when broken) and creates the schema on first use. The
  // error text, empty on success.
  std::string Ready();
  // Runs the prepared query; the error text ("База данных …: reason"),
  // empty on success. A failure marks the connection broken.
  std::string Exec(QSqlQuery& query);
  // A statement without parameters, not prepared (the server prepares
  // only queries, not BEGIN or CREATE).
  std::string Run(const QString& sql);
  std::string Begin();
  std::string Commit();
  void Rollback();
  QSqlQuery Query(const QString& sql);
  const DatabaseUri& uri() const { return uri_; }
  bool in_transaction() const { return in_transaction_; }

 private:
  std::string Fail(const QSqlError& error);
  std::string EnsureSchema();

  DatabaseUri uri_;
  QString connection_;
  bool open_ = false;
  bool broken_ = false;
  bool in_transaction_ = false;
};

class DbSerialSource : public SerialSource {
 public:
  DbSerialSource(std::shared_ptr<Database> db, std::string counter)
      : db_(std::move(db)), counter_(std::move(counter)) {}
  CounterResult Peek() override;
  CounterResult Take(uint64_t max_value, const BeforeTake& before) override;
  std::string name() const override;

 private:
  std::shared_ptr<Database> db_;
  std::string counter_;
};

class DbChipLog : public ChipLog {
 public:
  DbChipLog(std::shared_ptr<Database> db, std::string station,
            std::string counter)
      : db_(std::move(db)),
        station_(std::move(station)),
        counter_(std::move(counter)) {}
  std::string Open() { return db_->Ready(); }
  // A started record is a new row; the run's closing record completes the
  // row its started record made (found by port and number), or is a new
  // row of its own.
  std::string Write(const ChipRecord& record) override;

 private:
  std::shared_ptr<Database> db_;
  std::string station_;
  std::string counter_;  // the counter the numbers come from, if any
  std::map<std::string, std::pair<uint64_t, qlonglong>> started_;  // port
};

// takt-m-cli db-init URI: connects and creates the schema; the error text,
// empty on success.
std::string InitDatabase(const std::string& uri_text);

}  // namespace taktm

#endif  // TAKT_CLI_DB_RECORDS_H_
