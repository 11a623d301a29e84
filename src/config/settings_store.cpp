#include "config/settings_store.h"

#include <QVariant>
#include <utility>

#include "config/store_file_guard.h"
#include "widgets/int_text.h"

namespace taktm {

SettingsStore::SettingsStore(StoreProblemSink report)
    : report_(std::move(report)) {
  const QString organisation = QString::fromUtf8(kStoreOrganisation);
  const QString application = QString::fromUtf8(kStoreApplication);
  if (const QString unfit = UnfitStoreFile(organisation, application);
      !unfit.isEmpty()) {
    location_ = unfit;
    // Said once: the window opens the store several times at start-up.
    static QStringList told;
    if (!told.contains(unfit)) {
      told << unfit;
      told_now_ = true;
      report_(QStringLiteral("Хранилище настроек %1 не читается; действуют "
                             "значения по умолчанию")
                  .arg(unfit));
    }
    return;
  }
  settings_ = std::make_unique<QSettings>(
      QSettings::NativeFormat, QSettings::UserScope, organisation, application);
  location_ = settings_->fileName();
  switch (settings_->status()) {
    case QSettings::NoError:
      break;
    case QSettings::FormatError:
      report_(QStringLiteral("Хранилище настроек %1 повреждено и не "
                             "читается; действуют значения по умолчанию")
                  .arg(Location()));
      break;
    case QSettings::AccessError:
      report_(QStringLiteral("Хранилище настроек %1 не читается; действуют "
                             "значения по умолчанию")
                  .arg(Location()));
      break;
  }
}

SettingsStore::~SettingsStore() { Close(); }

QString SettingsStore::Location() const { return location_; }

void SettingsStore::ReportWrongType(const char* name, const QString& expected) {
  report_(QStringLiteral("Значение \"%1\" в хранилище настроек %2 имеет "
                         "неверный тип (ожидается %3) и пропущено")
              .arg(QString::fromUtf8(name), Location(), expected));
}

StoreRead SettingsStore::ReadString(const char* name, QString* value) {
  const QString key = QString::fromUtf8(name);
  if (!settings_ || !settings_->contains(key)) return StoreRead::kMissing;
  const QVariant stored = settings_->value(key);
  if (stored.typeId() != QMetaType::QString) {
    ReportWrongType(name, QStringLiteral("строка"));
    return StoreRead::kWrongType;
  }
  *value = stored.toString();
  return StoreRead::kRead;
}

StoreRead SettingsStore::ReadInt(const char* name, int32_t* value) {
  const QString key = QString::fromUtf8(name);
  if (!settings_ || !settings_->contains(key)) return StoreRead::kMissing;
  const QVariant stored = settings_->value(key);
  switch (stored.typeId()) {
    case QMetaType::Int:
      *value = stored.toInt();
      return StoreRead::kRead;
    case QMetaType::UInt:  // a 32-bit registry number read unsigned
      *value = static_cast<int32_t>(stored.toUInt());
      return StoreRead::kRead;
    case QMetaType::QString:
      // File-based stores keep numbers as text: only a whole number counts.
      if (auto parsed = ParseInt32(stored.toString().toStdString())) {
        *value = *parsed;
        return StoreRead::kRead;
      }
      break;
    default:
      break;
  }
  ReportWrongType(name, QStringLiteral("целое 32-битное число"));
  return StoreRead::kWrongType;
}

void SettingsStore::WriteString(const char* name, const QString& value) {
  if (settings_) settings_->setValue(QString::fromUtf8(name), value);
  written_ << QString::fromUtf8(name);
}

void SettingsStore::WriteInt(const char* name, int32_t value) {
  if (settings_) {
    settings_->setValue(QString::fromUtf8(name), static_cast<int>(value));
  }
  written_ << QString::fromUtf8(name);
}

void SettingsStore::ReadOptions(OptionsModel* options) {
  for (const Option option : kAllOptions) {
    int32_t stored = 0;
    if (ReadInt(OptionValueName(option).c_str(), &stored) == StoreRead::kRead) {
      options->SetTicked(option, OptionTickedFromStored(stored));
    }
  }
}

void SettingsStore::WriteOptions(const OptionsModel& options) {
  for (const Option option : kAllOptions) {
    WriteInt(OptionValueName(option).c_str(),
             StoredFromOptionTicked(options.Ticked(option)));
  }
}

void SettingsStore::Close() {
  if (closed_) return;
  closed_ = true;
  if (settings_) settings_->sync();
  if (written_.isEmpty()) return;
  // The first opening that met an unfit store has said so already; the
  // defaults it would write in are not worth a second message.
  if (told_now_) return;
  if (!settings_ || settings_->status() != QSettings::NoError) {
    report_(QStringLiteral("Не удалось записать в хранилище настроек %1 "
                           "значения: %2")
                .arg(Location(), written_.join(QStringLiteral(", "))));
  }
}

}  // namespace taktm
