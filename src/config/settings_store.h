// One opening of the per-user settings store (organisation "ZARVENTIK",
// application "TAKT-M", the platform's native form: the registry key
// Software\ZARVENTIK\TAKT-M on Windows, a per-user file elsewhere).
#ifndef TAKT_CONFIG_SETTINGS_STORE_H_
#define TAKT_CONFIG_SETTINGS_STORE_H_

#include <QSettings>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>

#include "config/options.h"

namespace taktm {

enum class StoreRead {
  kMissing,    // no such value: the caller's default applies
  kRead,       // the value was read
  kWrongType,  // present but not of its type: reported, left alone
};

// Receives each problem of the store as a whole sentence, at the moment it
// is met: the settings dialog shows it in the error report, the command line
// prints it. The store itself shows nothing.
using StoreProblemSink = std::function<void(const QString& problem)>;

// Open it, read and write, Close() it. Every failure of the store (a store
// that cannot be read, a value of the wrong type, a refused write) goes to
// the sink naming what failed, and the caller carries on. A store file that
// is no regular file of sane size is never opened: every value reads as
// missing (the defaults apply) and writes are refused.
class SettingsStore {
 public:
  explicit SettingsStore(StoreProblemSink report);
  ~SettingsStore();
  SettingsStore(const SettingsStore&) = delete;
  SettingsStore& operator=(const SettingsStore&) = delete;

  StoreRead ReadString(const char* name, QString* value);
  StoreRead ReadInt(const char* name, int32_t* value);

  void WriteString(const char* name, const QString& value);
  void WriteInt(const char* name, int32_t value);

  // "Check1" .. "Check13" in that order: each value read sets its option
  // (a missing or unusable one leaves it); each option is written as 1 or 0.
  void ReadOptions(OptionsModel* options);
  void WriteOptions(const OptionsModel& options);

  // Writes through to the store and reports a refused write once, naming the
  // values written since opening. Also run by the destructor.
  void Close();

  // Where the store lives (file path or registry key), for messages.
  QString Location() const;

 private:
  void ReportWrongType(const char* name, const QString& expected);

  // Null when the store's file is unfit to read.
  std::unique_ptr<QSettings> settings_;
  QString location_;
  StoreProblemSink report_;
  QStringList written_;
  bool told_now_ = false;  // this opening reported the store unfit
  bool closed_ = false;
};

}  // namespace taktm

#endif  // TAKT_CONFIG_SETTINGS_STORE_H_
