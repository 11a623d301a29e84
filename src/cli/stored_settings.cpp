#include "cli/stored_settings.h"

#include "config/default_port.h"
#include "config/settings_store.h"

namespace taktm {

StoredSettings ReadStoredSettings() {
  StoredSettings stored;
  stored.port.port = QString::fromStdString(DefaultComPort());
  stored.port.baud = static_cast<uint32_t>(kDefaultBitrate);
  stored.port.parity_index = kNoParityIndex;
  // The store's own texts, printed by the caller; a value it cannot use
  // keeps the default.
  SettingsStore store([&stored](const QString& problem) {
    stored.problems.push_back(problem.toStdString());
  });
  QString port;
  if (store.ReadString(kComPortValue, &port) == StoreRead::kRead) {
    stored.port.port = port;
  }
  int32_t baud = 0;
  if (store.ReadInt(kBitrateValue, &baud) == StoreRead::kRead) {
    stored.port.baud = static_cast<uint32_t>(baud);
  }
  int32_t parity = kNoParityIndex;
  if (store.ReadInt(kParityValue, &parity) == StoreRead::kRead) {
    stored.port.parity_index = parity;
  }
  store.ReadOptions(&stored.options);
  return stored;  // nothing was written: the close stores nothing
}

StoredSettings DefaultSettings() {
  StoredSettings defaults;
  defaults.port.port = QString::fromStdString(DefaultComPort());
  defaults.port.baud = static_cast<uint32_t>(kDefaultBitrate);
  defaults.port.parity_index = kNoParityIndex;
  return defaults;
}

StoredSettings ApplyOverrides(StoredSettings settings,
                              const CliOptions& options) {
  if (options.port) settings.port.port = QString::fromStdString(*options.port);
  if (options.baud) settings.port.baud = static_cast<uint32_t>(*options.baud);
  if (options.parity_index) settings.port.parity_index = *options.parity_index;
  options.option_flags.ApplyTo(&settings.options);
  return settings;
}

}  // namespace taktm
