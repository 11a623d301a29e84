// One opening of the per-user settings store (organisation "ZARVENTIK",
// application "TAKT-M", the platform's native form: the registry key
// Software\ZARVENTIK\TAKT-M on Windows, a per-user file elsewhere).
#ifndef TAKT_CONFIG_SETTINGS_STORE_H_
#define TAKT_CONFIG_SETTINGS_STORE_H_

#include <QSettings>
#include <QString>
#include <QStringList>
#include <cstdint>

class QWidget;

namespace taktm {

enum class StoreRead {
  kMissing,    // no such value: the caller's default applies
  kRead,       // the value was read
  kWrongType,  // present but not of its type: reported, left alone
};

// Open it, read and write, Close() it. Every failure of the store (a value of
// the wrong type, a file that cannot be read, a refused write) goes to the
// error report naming what failed, and the caller carries on.
class SettingsStore {
 public:
  explicit SettingsStore(QWidget* report_parent);
  ~SettingsStore();
  SettingsStore(const SettingsStore&) = delete;
  SettingsStore& operator=(const SettingsStore&) = delete;

  StoreRead ReadString(const char* name, QString* value);
  StoreRead ReadInt(const char* name, int32_t* value);

  void WriteString(const char* name, const QString& value);
  void WriteInt(const char* name, int32_t value);

  // Writes through to the store and reports a refused write once, naming the
  // values written since opening. Also run by the destructor.
  void Close();

  // Where the store lives (file path or registry key), for messages.
  QString Location() const;

 private:
  void ReportWrongType(const char* name, const QString& expected);

  QSettings settings_;
  QWidget* report_parent_;
  QStringList written_;
  bool closed_ = false;
};

}  // namespace taktm

#endif  // TAKT_CONFIG_SETTINGS_STORE_H_
