// Whole-file reads and atomic replacement of a file, with the system's reason
// for every failure.
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

// Reads the whole file unless it is larger than `max_size` bytes.
FileRead ReadWholeFile(const std::string& path, uint64_t max_size);

// Makes `path` hold exactly `size` bytes from `data`. The bytes go to a new
// file in the same folder, which is flushed to the disk and then renamed over
// `path`; on any failure (a full disk, no permission) the new file is removed
// and `path` keeps its old content. An existing file keeps its permissions.
std::error_code WriteFileAtomically(const std::string& path,
                                    const uint8_t* data, size_t size);

}  // namespace taktm

#endif  // TAKT_BUFFER_FILE_IO_H_
