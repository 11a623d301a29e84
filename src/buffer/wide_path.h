// UTF-8 names as the wide (UTF-16) names Windows' file calls take, the same
// conversion the file layer uses; for the few callers outside it.
#ifndef TAKT_BUFFER_WIDE_PATH_H_
#define TAKT_BUFFER_WIDE_PATH_H_

#include <string>

namespace taktm {

// False when `utf8` is not UTF-8.
bool WidePath(const std::string& utf8, std::wstring* wide);
// The UTF-8 form of a wide name.
std::string NarrowPath(const std::wstring& wide);

}  // namespace taktm

#endif  // TAKT_BUFFER_WIDE_PATH_H_
