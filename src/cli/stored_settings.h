// The settings the window stores (port, speed, parity and the options
// Check1 .. Check13), read without changing anything, so that the command
// line starts from what the window would use.
#ifndef TAKT_CLI_STORED_SETTINGS_H_
#define TAKT_CLI_STORED_SETTINGS_H_

#include <array>
#include <string>
#include <vector>

#include "cli/cli_args.h"
#include "cli/cli_host.h"

namespace taktm {

struct StoredSettings {
  PortSettings port;
  std::array<bool, 14> checks{};  // index = option number; 0 unused
  // Values present but unusable: named, and the default kept.
  std::vector<std::string> problems;
};

// Reads the per-user store (organisation "ZARVENTIK", application "TAKT-M").
// Missing values take the window's first-run defaults; nothing is written.
StoredSettings ReadStoredSettings();

// The stored settings with the command line's overrides applied.
StoredSettings ApplyOverrides(StoredSettings settings,
                              const CliOptions& options);

}  // namespace taktm

#endif  // TAKT_CLI_STORED_SETTINGS_H_
