// Windows: wide names through the file layer's conversion, LockFileEx,
// FlushFileBuffers, and MoveFileExW written through for the replacement.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <io.h>
#include <windows.h>

#include <cerrno>

#include "buffer/wide_path.h"
#include "cli/durable_file.h"

namespace taktm {
namespace {

// The C library's number for what the system said.
int ErrnoOf(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EWOULDBLOCK;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_INVALID_NAME:
    case ERROR_DIRECTORY:
      return EINVAL;
    case ERROR_INVALID_HANDLE:
      return EBADF;
    default:
      return EIO;
  }
}

int LastErrno() { return ErrnoOf(::GetLastError()); }

HANDLE HandleOf(int fd) {
  return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

}  // namespace

int OpenDurable(const std::string& path, int flags, int mode) {
  (void)mode;
  std::wstring name;
  if (!WidePath(path, &name) || name.empty()) {
    errno = EINVAL;
    return -1;
  }
  const int access_mode = flags & (O_RDONLY | O_WRONLY | O_RDWR);
  DWORD access = GENERIC_READ;
  if (access_mode == O_WRONLY) access = GENERIC_WRITE;
  if (access_mode == O_RDWR) access = GENERIC_READ | GENERIC_WRITE;
  // Appending writes land at the end whatever others wrote meanwhile.
  if (flags & O_APPEND) access = FILE_APPEND_DATA | SYNCHRONIZE;
  DWORD disposition = OPEN_EXISTING;
  if ((flags & O_CREAT) && (flags & O_EXCL)) {
    disposition = CREATE_NEW;
  } else if (flags & O_CREAT) {
    disposition = OPEN_ALWAYS;
  }
  // Shared for deleting too: the counter is replaced while its lock is held.
  const HANDLE h =
      ::CreateFileW(name.c_str(), access,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    errno = LastErrno();
    return -1;
  }
  const int fd = ::_open_osfhandle(
      reinterpret_cast<intptr_t>(h),
      (flags & (O_APPEND | O_WRONLY | O_RDWR)) | _O_BINARY | _O_NOINHERIT);
  if (fd < 0) {
    ::CloseHandle(h);
    errno = EMFILE;
  }
  return fd;
}

int CloseDurable(int fd) { return ::_close(fd); }

int TryLockExclusive(int fd) {
  OVERLAPPED at{};
  if (::LockFileEx(HandleOf(fd),
                   LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                   MAXDWORD, MAXDWORD, &at)) {
    return 0;
  }
  return LastErrno();
}

int Unlock(int fd) {
  OVERLAPPED at{};
  return ::UnlockFileEx(HandleOf(fd), 0, MAXDWORD, MAXDWORD, &at) ? 0
                                                                  : LastErrno();
}

int SyncFile(int fd) {
  return ::FlushFileBuffers(HandleOf(fd)) ? 0 : LastErrno();
}

int SyncFolder(const std::string&) { return 0; }

int MoveOver(const std::string& from, const std::string& to) {
  std::wstring wide_from;
  std::wstring wide_to;
  if (!WidePath(from, &wide_from) || !WidePath(to, &wide_to)) return EINVAL;
  constexpr DWORD kThrough = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
  if (::MoveFileExW(wide_from.c_str(), wide_to.c_str(), kThrough)) return 0;
  if (::GetLastError() != ERROR_ACCESS_DENIED) return LastErrno();
  // The file to replace is open (the counter, under its own lock): Windows
  // will not delete an open file's name, but will rename it. It steps aside
  // first; should the second rename fail, it is put back.
  const std::wstring aside = wide_to + L".takt-m-old";
  ::DeleteFileW(aside.c_str());
  if (!::MoveFileExW(wide_to.c_str(), aside.c_str(), kThrough)) {
    return LastErrno();
  }
  if (!::MoveFileExW(wide_from.c_str(), wide_to.c_str(), kThrough)) {
    const int error = LastErrno();
    ::MoveFileExW(aside.c_str(), wide_to.c_str(), kThrough);
    return error;
  }
  // Gone once its last handle closes.
  ::DeleteFileW(aside.c_str());
  return 0;
}

int RemoveFile(const std::string& path) {
  std::wstring name;
  if (!WidePath(path, &name)) return EINVAL;
  return ::DeleteFileW(name.c_str()) ? 0 : LastErrno();
}

int64_t ReadAt(int fd, char* buffer, size_t size, uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  const DWORD want = size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
  if (!::ReadFile(HandleOf(fd), buffer, want, &got, &at)) {
    if (::GetLastError() == ERROR_HANDLE_EOF) return 0;
    errno = LastErrno();
    return -1;
  }
  return got;
}

std::optional<std::string> ResolvedPath(const std::string& path, int* error) {
  std::wstring name;
  if (!WidePath(path, &name) || name.empty()) {
    *error = EINVAL;
    return std::nullopt;
  }
  const HANDLE h = ::CreateFileW(
      name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    *error = LastErrno();
    return std::nullopt;
  }
  std::wstring full(MAX_PATH, L'\0');
  DWORD n = ::GetFinalPathNameByHandleW(h, full.data(),
                                        static_cast<DWORD>(full.size()), 0);
  if (n >= full.size()) {
    full.resize(n + 1);
    n = ::GetFinalPathNameByHandleW(h, full.data(),
                                    static_cast<DWORD>(full.size()), 0);
  }
  ::CloseHandle(h);
  if (n == 0) {
    *error = LastErrno();
    return std::nullopt;
  }
  full.resize(n);
  // "\\?\C:\x" is "C:\x"; the callers split folders at '/'.
  if (full.rfind(L"\\\\?\\", 0) == 0 && full.size() > 6 && full[5] == L':') {
    full.erase(0, 4);
  }
  std::string real = NarrowPath(full);
  for (char& c : real) {
    if (c == '\\') c = '/';
  }
  return real;
}

bool IsSameFile(int fd, const std::string& path) {
  std::wstring name;
  if (!WidePath(path, &name)) return false;
  BY_HANDLE_FILE_INFORMATION open_file;
  BY_HANDLE_FILE_INFORMATION named;
  const HANDLE h = ::CreateFileW(
      name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool same =
      ::GetFileInformationByHandle(HandleOf(fd), &open_file) &&
      ::GetFileInformationByHandle(h, &named) &&
      open_file.dwVolumeSerialNumber == named.dwVolumeSerialNumber &&
      open_file.nFileIndexHigh == named.nFileIndexHigh &&
      open_file.nFileIndexLow == named.nFileIndexLow;
  ::CloseHandle(h);
  return same;
}

int FolderWritable(const std::string& folder) {
  std::wstring name;
  if (!WidePath(folder, &name)) return EINVAL;
  const DWORD attributes = ::GetFileAttributesW(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return LastErrno();
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return ENOTDIR;
  return 0;
}

}  // namespace taktm
