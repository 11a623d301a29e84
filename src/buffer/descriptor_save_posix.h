// Saves into a regular file behind a descriptor link (/dev/stdout,
// /dev/fd/N, /proc/self/fd/N): the file is someone's open output, such as a
// shell's `>> log`, so the bytes go where that descriptor writes, never
// over what it already holds. Part of the POSIX file layer.
#ifndef TAKT_BUFFER_DESCRIPTOR_SAVE_POSIX_H_
#define TAKT_BUFFER_DESCRIPTOR_SAVE_POSIX_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <system_error>

namespace taktm {

// `link` is a link inside /proc that stands for an open descriptor. When it
// leads to a regular file, writes the bytes as a stream: through this
// process's own descriptor at its position (O_APPEND kept), or appended for
// another process's descriptor; flushed; a write that fails at the end of
// the file is cut off again. Nothing when the link leads to no regular file
// (a pipe, a device): those are written as a stream by the caller.
std::optional<std::error_code> SaveToDescriptorFile(const std::string& link,
                                                    const uint8_t* data,
                                                    size_t size);

}  // namespace taktm

#endif  // TAKT_BUFFER_DESCRIPTOR_SAVE_POSIX_H_
