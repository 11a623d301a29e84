#include "cli/terminal.h"

#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace taktm {

bool RedrawsInPlace(int fd) {
#ifdef _WIN32
  // _isatty is true for any character device, the NUL device included; a
  // console is the one that has a console mode.
  DWORD mode = 0;
  if (_isatty(fd) == 0 ||
      !GetConsoleMode(reinterpret_cast<HANDLE>(_get_osfhandle(fd)), &mode)) {
    return false;
  }
#else
  if (::isatty(fd) != 1) return false;
#endif
  const char* term = std::getenv("TERM");
  return term == nullptr || std::strcmp(term, "dumb") != 0;
}

int TerminalColumns(int fd) {
#ifdef _WIN32
  CONSOLE_SCREEN_BUFFER_INFO info;
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  if (GetConsoleScreenBufferInfo(handle, &info)) {
    return info.srWindow.Right - info.srWindow.Left + 1;
  }
#else
  winsize size{};
  if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
    return size.ws_col;
  }
#endif
  if (const char* columns = std::getenv("COLUMNS")) {
    const int value = std::atoi(columns);
    if (value > 0) return value;
  }
  return 0;
}

void UseUtf8Console() {
#ifdef _WIN32
  ::SetConsoleOutputCP(CP_UTF8);
#endif
}

}  // namespace taktm
