#include "cli/stored_settings.h"

#include <QSettings>
#include <QVariant>
#include <optional>

#include "config/default_port.h"
#include "config/options.h"
#include "widgets/int_text.h"

namespace taktm {
namespace {

// A number as the window's store keeps it: an integer, or (in file-based
// stores) its decimal text.
std::optional<int32_t> StoredInt(const QVariant& value) {
  switch (value.typeId()) {
    case QMetaType::Int:
      return value.toInt();
    case QMetaType::UInt:
      return static_cast<int32_t>(value.toUInt());
    case QMetaType::QString:
      return ParseInt32(value.toString().toStdString());
    default:
      return std::nullopt;
  }
}

}  // namespace

StoredSettings ReadStoredSettings() {
  StoredSettings stored;
  stored.port.port = QString::fromStdString(DefaultComPort());
  stored.port.baud = static_cast<uint32_t>(kDefaultBitrate);
  stored.port.parity_index = kNoParityIndex;
  stored.checks.fill(true);
  QSettings settings(QSettings::NativeFormat, QSettings::UserScope,
                     QString::fromUtf8(kStoreOrganisation),
                     QString::fromUtf8(kStoreApplication));
  auto problem = [&](const char* name) {
    stored.problems.push_back(
        std::string("Значение \"") + name + "\" в хранилище настроек " +
        settings.fileName().toStdString() + " неверно и пропущено");
  };
  if (settings.status() != QSettings::NoError) {
    stored.problems.push_back("Хранилище настроек " +
                              settings.fileName().toStdString() +
                              " не читается; действуют значения по умолчанию");
    return stored;
  }
  if (settings.contains(kComPortValue)) {
    const QVariant value = settings.value(kComPortValue);
    if (value.typeId() == QMetaType::QString) {
      stored.port.port = value.toString();
    } else {
      problem(kComPortValue);
    }
  }
  if (settings.contains(kBitrateValue)) {
    const std::optional<int32_t> baud =
        StoredInt(settings.value(kBitrateValue));
    if (baud) {
      stored.port.baud = static_cast<uint32_t>(*baud);
    } else {
      problem(kBitrateValue);
    }
  }
  if (settings.contains(kParityValue)) {
    const std::optional<int32_t> parity =
        StoredInt(settings.value(kParityValue));
    if (parity) {
      stored.port.parity_index = *parity;
    } else {
      problem(kParityValue);
    }
  }
  for (int n = 1; n <= kOptionCount; ++n) {
    const QString name = QString::fromStdString(OptionValueName(n));
    if (!settings.contains(name)) continue;
    const std::optional<int32_t> value = StoredInt(settings.value(name));
    if (value) {
      stored.checks[n] = OptionTickedFromStored(*value);
    } else {
      problem(OptionValueName(n).c_str());
    }
  }
  return stored;
}

StoredSettings ApplyOverrides(StoredSettings settings,
                              const CliOptions& options) {
  if (options.port) settings.port.port = QString::fromStdString(*options.port);
  if (options.baud) settings.port.baud = static_cast<uint32_t>(*options.baud);
  if (options.parity_index) settings.port.parity_index = *options.parity_index;
  for (int n = 1; n <= kOptionCount; ++n) {
    if (options.checks[n]) settings.checks[n] = *options.checks[n];
  }
  return settings;
}

}  // namespace taktm
