// Whole-file reads and saves, with the reason for every failure. This is the
// file layer's whole interface to the system; its one implementation per
// platform lives in file_io_<platform>.cpp.
#ifndef TAKT_BUFFER_FILE_IO_H_
#define TAKT_BUFFER_FILE_IO_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

namespace taktm {

struct FileRead {
  std::error_code error;   // set when the file could not be opened or read
  bool too_large = false;  // larger than the limit given: nothing was read
  std::vector<uint8_t> bytes;
};

// Reads the whole file unless it is larger than `max_size` bytes. Only a
// regular file (a symbolic link to one included) is opened: a folder gives
// std::errc::is_a_directory, a pipe, device or socket
// FileErrc::kNotRegularFile, both before anything is opened, and the open
// itself never waits for a writer.
FileRead ReadRegularFile(const std::string& path, uint64_t max_size);

// How long a save into a pipe or device waits for it to take another byte.
inline constexpr int kStallLimitMs = 30000;

// Makes `path` hold exactly `size` bytes from `data`, replacing only what
// the user may replace:
// - a symbolic link is followed and its target saved (a dangling link's
//   target is created); the link stays;
// - a regular file with one name, the user's own (or any, for root), is
//   replaced atomically: a new file in the same folder with the old one's
//   owner, group and mode, flushed and renamed over it; on failure the old
//   file is untouched;
// - any other regular file (more than one name, another user's file, one
//   whose folder the user may not write or whose group the new file cannot
//   take, one reached through a descriptor link such as /dev/fd/1) is
//   written in place: the part beyond its old end goes first, and is cut
//   off again if it fails (a full disk, a file size limit), so the old
//   content stays whole; the rest is then overwritten, and the file is cut
//   to a shorter length only after every byte was written and flushed: it
//   never ends up shorter than a whole file;
// - a file the user may not write is refused with the system's reason, as
//   a direct write would be;
// - a pipe or device gets the bytes written into it as a shell redirection
//   would; a pipe without a reader is refused at once, and one that takes
//   no byte for `stall_limit_ms` fails with FileErrc::kStalled; a socket or
//   folder is refused.
// A new file gets the usual mode for new files. The error is empty only
// when every byte reached the file.
std::error_code SaveFile(const std::string& path, const uint8_t* data,
                         size_t size, int stall_limit_ms = kStallLimitMs);

// Whether `path` is the file the program's standard output goes to, so that
// nothing else is printed into a file just saved there.
bool IsStandardOutput(const std::string& path);

}  // namespace taktm

#endif  // TAKT_BUFFER_FILE_IO_H_
