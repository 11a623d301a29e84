// The system calls of the serial counter and the production log that differ
// between POSIX systems and Windows: opening a file by its UTF-8 name, an
// exclusive lock without waiting, flushing a file and a folder to the disk,
// replacing one file by another, reading at an offset. Descriptors are the
// C library's; failures return the C library's error number.
#ifndef TAKT_CLI_DURABLE_FILE_H_
#define TAKT_CLI_DURABLE_FILE_H_

#include <fcntl.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace taktm {

// Opens with open(2)'s access and creation flags (O_RDONLY, O_WRONLY,
// O_APPEND, O_CREAT, O_EXCL). The descriptor is never inherited and never
// waits for a writer (POSIX); on Windows it is binary, and the file may be
// renamed or replaced while open, as on POSIX systems. -1 with errno set on
// failure.
int OpenDurable(const std::string& path, int flags, int mode = 0666);
int CloseDurable(int fd);

// Locks the whole file for this descriptor only: 0, or EWOULDBLOCK while
// another holds it, or another error number.
int TryLockExclusive(int fd);

// TryLockExclusive tried again for up to `wait`: another run holds the lock
// for milliseconds, and one that holds it for long must not stall every
// port. 0, EWOULDBLOCK when the lock stayed taken, or another error number.
int LockExclusiveWithin(int fd, std::chrono::milliseconds wait);

// Gives the lock up again: 0 or an error number.
int Unlock(int fd);

// The file's bytes on the disk: 0 or an error number.
int SyncFile(int fd);
// The folder's entries (a new or renamed name) on the disk. Windows writes
// them through with the rename itself: 0 there.
int SyncFolder(const std::string& folder);

// Replaces `to` by `from` in one step (not "ReplaceFile": a Windows macro),
// written through to the disk on Windows: 0 or an error number.
int MoveOver(const std::string& from, const std::string& to);
// Removes the name; 0 or an error number.
int RemoveFile(const std::string& path);

// Reads up to `size` bytes at `offset`: the count, or -1 with errno set.
int64_t ReadAt(int fd, char* buffer, size_t size, uint64_t offset);

// The name with links followed and made absolute, with '/' between the
// folders on every system; nothing with *error set when it does not exist.
std::optional<std::string> ResolvedPath(const std::string& path, int* error);

// Whether `path` still names the file open as `fd` (not replaced since).
bool IsSameFile(int fd, const std::string& path);

// The folder `path` names its file in: "." for a bare name.
std::string FolderOf(const std::string& path);

// Whether new files may be made in `folder`: 0 or an error number.
int FolderWritable(const std::string& folder);

}  // namespace taktm

#endif  // TAKT_CLI_DURABLE_FILE_H_
