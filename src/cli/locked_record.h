// The steps a small record file (the serial counter, a list's count of
// numbers taken) is kept by: opened and locked exclusively, read whole, and
// replaced by a new file renamed over it with the folder flushed, so that a
// run killed at any moment leaves either the old text or the new one.
#ifndef TAKT_CLI_LOCKED_RECORD_H_
#define TAKT_CLI_LOCKED_RECORD_H_

#include <sys/stat.h>

#include <chrono>
#include <optional>
#include <string>

namespace taktm {

// Another run holds a record's lock for milliseconds; one holding it for
// longer must not stall every port.
inline constexpr std::chrono::milliseconds kRecordLockWait(2000);

// A descriptor closed when it goes.
class RecordFd {
 public:
  explicit RecordFd(int fd = -1) : fd_(fd) {}
  ~RecordFd() { Reset(); }
  RecordFd(const RecordFd&) = delete;
  RecordFd& operator=(const RecordFd&) = delete;
  int get() const { return fd_; }
  void Reset(int fd = -1);

 private:
  int fd_;
};

// The text of a system error number.
std::string RecordReason(int error);

// Opens the regular file `real` (a resolved name) for reading and locks it
// exclusively. The lock belongs to the file the name stands for: a file
// replaced meanwhile leaves the one opened here stale, so it is opened
// again. On failure, the error names the file after `noun` ("Файл
// счётчика").
bool OpenLockedRecord(const std::string& real, const std::string& noun,
                      RecordFd& fd, struct stat& st, std::string* error);

// Resolves `path` and opens the regular file it names for reading, without
// a lock: a look that changes nothing. The resolved name; on failure
// nothing, the error naming `path` after `noun`.
std::optional<std::string> OpenRecordToRead(const std::string& path,
                                            const std::string& noun,
                                            RecordFd& fd, std::string* error);

// Reads the whole (small) file from the start; at most `limit` bytes and a
// little more. Nothing with *error set (an errno) when it cannot be read.
std::optional<std::string> ReadRecord(int fd, size_t limit, int* error);

// Replaces `real` by a file holding `text`, with the mode (and owner, where
// the system allows it) of `like`: written and flushed beside it, renamed
// over it, the folder flushed. 0 or an error number; *renamed tells whether
// the new text took the name (only the folder's flush failed after it).
// Only the holder of the record's lock may call it.
int ReplaceRecord(const std::string& real, const std::string& text,
                  const struct stat& like, bool* renamed);

}  // namespace taktm

#endif  // TAKT_CLI_LOCKED_RECORD_H_
