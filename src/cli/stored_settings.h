// The settings the window stores (port, speed, parity and the options),
// read through the window's own store without changing anything, so that
// the command line starts from what the window would use.
#ifndef TAKT_CLI_STORED_SETTINGS_H_
#define TAKT_CLI_STORED_SETTINGS_H_

#include <string>
#include <vector>

#include "cli/cli_args.h"
#include "cli/cli_host.h"
#include "config/options.h"

namespace taktm {

struct StoredSettings {
  PortSettings port;
  OptionsModel options;
  // The store's problems (values present but unusable, a store that cannot
  // be read), in the store's words; the defaults are kept.
  std::vector<std::string> problems;
};

// Reads the per-user store (organisation "ZARVENTIK", application "TAKT-M").
// Missing values take the window's first-run defaults; nothing is written.
StoredSettings ReadStoredSettings();

// The window's first-run settings, the store left unread (--defaults).
StoredSettings DefaultSettings();

// The stored settings with the command line's overrides applied.
StoredSettings ApplyOverrides(StoredSettings settings,
                              const CliOptions& options);

}  // namespace taktm

#endif  // TAKT_CLI_STORED_SETTINGS_H_
