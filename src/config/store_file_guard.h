// Where the settings store is a file, it is read at start-up before
// anything else happens: a pipe there would hold the program in the open
// for ever, and a huge file would be read whole into memory. This finds
// such a file before the store is opened.
#ifndef TAKT_CONFIG_STORE_FILE_GUARD_H_
#define TAKT_CONFIG_STORE_FILE_GUARD_H_

#include <QString>
#include <cstdint>

namespace taktm {

// A store file is a few hundred bytes; anything past this is no store.
inline constexpr int64_t kMaxStoreFileBytes = 1 << 20;

// The first file of the per-user store (the application's, then the
// organisation's shared one) that is there but is no regular file of at
// most kMaxStoreFileBytes; empty when every one is missing or fit to read,
// and always where the store is no file (the registry).
QString UnfitStoreFile(const QString& organisation, const QString& application);

}  // namespace taktm

#endif  // TAKT_CONFIG_STORE_FILE_GUARD_H_
