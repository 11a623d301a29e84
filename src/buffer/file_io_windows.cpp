// The file layer on Windows. Paths arrive in UTF-8 and go to the wide calls;
// the system's error codes become the same reasons as on POSIX systems.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <string>

#include "buffer/file_io.h"
#include "buffer/system_reason.h"
#include "buffer/wide_path.h"

namespace taktm {
namespace {

// The largest piece one ReadFile or WriteFile call is given.
constexpr DWORD kChunk = 1u << 30;

std::error_code Errc(std::errc e) { return std::make_error_code(e); }

// The system's codes for what a user meets with files, as the portable
// conditions the reasons are written for; anything else keeps its code.
std::error_code WindowsError(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_BAD_PATHNAME:
      return Errc(std::errc::no_such_file_or_directory);
    case ERROR_ACCESS_DENIED:
    case ERROR_FILE_READ_ONLY:
    case ERROR_NETWORK_ACCESS_DENIED:
      return Errc(std::errc::permission_denied);
    case ERROR_PRIVILEGE_NOT_HELD:
      return Errc(std::errc::operation_not_permitted);
    case ERROR_WRITE_PROTECT:
      return Errc(std::errc::read_only_file_system);
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
    case ERROR_DRIVE_LOCKED:
      return Errc(std::errc::text_file_busy);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return Errc(std::errc::no_space_on_device);
    case ERROR_FILE_TOO_LARGE:
      return Errc(std::errc::file_too_large);
    case ERROR_DIRECTORY:
      return Errc(std::errc::not_a_directory);
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BUFFER_OVERFLOW:
      return Errc(std::errc::filename_too_long);
    case ERROR_CANT_RESOLVE_FILENAME:
      return Errc(std::errc::too_many_symbolic_link_levels);
    case ERROR_NOT_READY:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_BAD_UNIT:
    case ERROR_DEVICE_NOT_CONNECTED:
      return Errc(std::errc::no_such_device);
    case ERROR_PIPE_BUSY:
      return Errc(std::errc::no_such_device_or_address);
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
    case ERROR_PIPE_NOT_CONNECTED:
      return Errc(std::errc::broken_pipe);
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_GEN_FAILURE:
    case ERROR_IO_DEVICE:
    case ERROR_SECTOR_NOT_FOUND:
      return Errc(std::errc::io_error);
    case ERROR_INVALID_NAME:
    case ERROR_NO_UNICODE_TRANSLATION:
      return FileErrc::kBadName;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return Errc(std::errc::file_exists);
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return Errc(std::errc::not_enough_memory);
    default:
      return {static_cast<int>(code), std::system_category()};
  }
}

std::error_code LastError() { return WindowsError(::GetLastError()); }

// Closes the handle on every path out.
class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() {
    if (ok()) ::CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool ok() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  HANDLE get() const { return h_; }
  std::error_code Close() {
    const HANDLE h = h_;
    h_ = INVALID_HANDLE_VALUE;
    return ::CloseHandle(h) ? std::error_code() : LastError();
  }

 private:
  HANDLE h_;
};

// The wide form of a UTF-8 name; false when the name is not UTF-8.
bool Widen(const std::string& utf8, std::wstring* wide) {
  wide->clear();
  if (utf8.empty()) return true;
  if (utf8.size() > INT_MAX) return false;
  const int size = static_cast<int>(utf8.size());
  const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS,
                                      utf8.data(), size, nullptr, 0);
  if (n <= 0) return false;
  wide->resize(static_cast<size_t>(n));
  return ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size,
                               wide->data(), n) == n;
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

wchar_t Upper(wchar_t c) {
  return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

// Whether `name` is one of the names Windows keeps for devices in every
// folder ("NUL", "COM3", "con.txt", "LPT1 "): they open a device, not a
// file.
bool IsReservedDeviceName(std::wstring name) {
  const size_t dot = name.find(L'.');
  if (dot != std::wstring::npos) name.resize(dot);
  while (!name.empty() && name.back() == L' ') name.pop_back();
  for (wchar_t& c : name) c = Upper(c);
  if (name == L"CON" || name == L"PRN" || name == L"AUX" || name == L"NUL" ||
      name == L"CONIN$" || name == L"CONOUT$" || name == L"CLOCK$") {
    return true;
  }
  if (name.size() == 4 &&
      (name.compare(0, 3, L"COM") == 0 || name.compare(0, 3, L"LPT") == 0)) {
    const wchar_t d = name[3];
    return (d >= L'0' && d <= L'9') || d == L'\u00B9' || d == L'\u00B2' ||
           d == L'\u00B3';
  }
  return false;
}

// Whether `path` names a device or a pipe rather than a file: a reserved
// device name, or a name in the device namespace (\\.\COM10, \\.\pipe\x)
// other than a drive, a share or a volume seen through it.
bool IsDevicePath(const std::wstring& path) {
  if (path.size() >= 4 && IsSeparator(path[0]) && IsSeparator(path[1]) &&
      (path[2] == L'.' || path[2] == L'?') && IsSeparator(path[3])) {
    const std::wstring rest = path.substr(4);
    const bool drive = rest.size() >= 3 && rest[1] == L':' &&
                       IsSeparator(rest[2]) && Upper(rest[0]) >= L'A' &&
                       Upper(rest[0]) <= L'Z';
    std::wstring head = rest.substr(0, 4);
    for (wchar_t& c : head) c = Upper(c);
    const bool share = head.size() == 4 && head.compare(0, 3, L"UNC") == 0 &&
                       IsSeparator(head[3]);
    const size_t brace = rest.find(L'}');
    const bool volume = rest.compare(0, 7, L"Volume{") == 0 &&
                        brace != std::wstring::npos &&
                        brace + 1 < rest.size() && IsSeparator(rest[brace + 1]);
    if (!drive && !share && !volume) return true;
  }
  size_t start = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    if (IsSeparator(path[i]) || (i == 1 && path[i] == L':')) start = i + 1;
  }
  return IsReservedDeviceName(path.substr(start));
}

// The length of a name's folder part with its final separator ("C:\x\",
// "C:"; none for a name in the current folder).
size_t FolderLength(const std::wstring& name) {
  size_t length = 0;
  for (size_t i = 0; i < name.size(); ++i) {
    if (IsSeparator(name[i]) || (i == 1 && name[i] == L':')) length = i + 1;
  }
  return length;
}

// Runs one write at `offset` (ignored by pipes and devices) and waits for
// it at most `wait_ms`: `*done` gets the bytes written. A write that has not
// finished by then is cancelled; `*timed_out` tells so.
std::error_code WriteOnce(HANDLE h, const uint8_t* data, DWORD size,
                          uint64_t offset, DWORD wait_ms, DWORD* done,
                          bool* timed_out) {
  *done = 0;
  *timed_out = false;
  Handle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!event.ok()) return LastError();
  OVERLAPPED ov{};
  ov.Offset = static_cast<DWORD>(offset);
  ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
  ov.hEvent = event.get();
  if (!::WriteFile(h, data, size, nullptr, &ov)) {
    const DWORD error = ::GetLastError();
    if (error != ERROR_IO_PENDING) return WindowsError(error);
    if (::WaitForSingleObject(event.get(), wait_ms) == WAIT_TIMEOUT) {
      ::CancelIoEx(h, &ov);
      *timed_out = true;
    }
  }
  if (!::GetOverlappedResult(h, &ov, done, TRUE)) {
    const DWORD error = ::GetLastError();
    if (error != ERROR_OPERATION_ABORTED || !*timed_out) {
      return WindowsError(error);
    }
  }
  return {};
}

std::error_code WriteAllAt(HANDLE h, const uint8_t* data, size_t size,
                           uint64_t offset) {
  while (size > 0) {
    DWORD n = 0;
    bool timed_out = false;
    const DWORD piece = static_cast<DWORD>(std::min<size_t>(size, kChunk));
    if (std::error_code e =
            WriteOnce(h, data, piece, offset, INFINITE, &n, &timed_out)) {
      return e;
    }
    if (n == 0) return Errc(std::errc::no_space_on_device);
    data += n;
    size -= n;
    offset += n;
  }
  return {};
}

// Bytes into a pipe or device; a reader that stops reading holds the save
// for `stall_limit_ms` at most.
std::error_code WriteStream(HANDLE h, const uint8_t* data, size_t size,
                            int stall_limit_ms) {
  using Clock = std::chrono::steady_clock;
  Clock::time_point progress = Clock::now();
  size_t done = 0;
  while (done < size) {
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                            Clock::now() - progress)
                            .count();
    if (waited >= stall_limit_ms) return FileErrc::kStalled;
    DWORD n = 0;
    bool timed_out = false;
    const DWORD piece =
        static_cast<DWORD>(std::min<size_t>(size - done, kChunk));
    if (std::error_code e = WriteOnce(
            h, data + done, piece, 0,
            static_cast<DWORD>(stall_limit_ms - waited), &n, &timed_out)) {
      return e;
    }
    if (n > 0) {
      done += n;
      progress = Clock::now();
    } else if (!timed_out) {
      ::Sleep(1);  // a device that took nothing without waiting
    }
  }
  return {};
}

std::error_code SetLength(HANDLE h, uint64_t length) {
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
  return ::SetFileInformationByHandle(h, FileEndOfFileInfo, &end, sizeof(end))
             ? std::error_code()
             : LastError();
}

std::error_code FileLength(HANDLE h, uint64_t* length) {
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(h, &size)) return LastError();
  *length = static_cast<uint64_t>(size.QuadPart);
  return {};
}

// Overwrites an open file as on POSIX systems: the part beyond the old end
// first (cut back if it fails, so the old content stays whole), then the
// rest over blocks the file owns, and the new length last.
std::error_code WriteInPlace(HANDLE h, const uint8_t* data, size_t size) {
  uint64_t old_size = 0;
  if (std::error_code e = FileLength(h, &old_size)) return e;
  if (size > old_size) {
    const size_t old = static_cast<size_t>(old_size);
    if (std::error_code e = WriteAllAt(h, data + old, size - old, old)) {
      (void)SetLength(h, old_size);
      return e;
    }
  }
  const size_t head = static_cast<size_t>(std::min<uint64_t>(size, old_size));
  if (std::error_code e = WriteAllAt(h, data, head, 0)) return e;
  if (!::FlushFileBuffers(h)) return LastError();
  if (size < old_size) {
    if (std::error_code e = SetLength(h, size)) return e;
    if (!::FlushFileBuffers(h)) return LastError();
  }
  uint64_t now = 0;
  if (std::error_code e = FileLength(h, &now)) return e;
  if (now != size) return FileErrc::kIncomplete;
  return {};
}

HANDLE OpenForWriting(const std::wstring& name, DWORD disposition) {
  return ::CreateFileW(name.c_str(), GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                       FILE_FLAG_OVERLAPPED, nullptr);
}

bool NothingReplaced(DWORD error) {
  return error == ERROR_UNABLE_TO_REMOVE_REPLACED ||
         error == ERROR_UNABLE_TO_MOVE_REPLACEMENT ||
         error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
         error == ERROR_LOCK_VIOLATION || error == ERROR_USER_MAPPED_FILE;
}

// The attributes a new file takes over from the one it replaces.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
    FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// A new file beside `name`, flushed, then put in its place: over an existing
// file (`old` holds its attributes) by the call made for it, which keeps the
// old file's access rights, else by a rename. On failure the old file is as
// it was. `in_place_instead` is set, with nothing changed, when the folder
// does not allow the new file or the old one may not be replaced.
std::error_code ReplaceAtomically(const std::wstring& name, const uint8_t* data,
                                  size_t size, const DWORD* old,
                                  bool* in_place_instead) {
  const size_t folder = FolderLength(name);
  const std::wstring stem = name.substr(0, folder) + L"." +
                            name.substr(folder) + L"." +
                            std::to_wstring(::GetCurrentProcessId()) + L"-";
  static unsigned counter = 0;
  std::wstring temp;
  std::wstring backup;
  HANDLE raw = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && raw == INVALID_HANDLE_VALUE;
       ++attempt) {
    const std::wstring unique = stem + std::to_wstring(++counter);
    temp = unique + L".tmp";
    backup = unique + L".old";
    raw = ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (raw == INVALID_HANDLE_VALUE) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
      if (error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT) {
        *in_place_instead = true;
      }
      return WindowsError(error);
    }
  }
  if (raw == INVALID_HANDLE_VALUE) return LastError();
  Handle file(raw);
  auto fail = [&temp](std::error_code error) {
    ::DeleteFileW(temp.c_str());
    return error;
  };
  if (std::error_code e = WriteAllAt(file.get(), data, size, 0)) {
    file.Close();
    return fail(e);
  }
  if (!::FlushFileBuffers(file.get())) {
    const std::error_code e = LastError();
    file.Close();
    return fail(e);
  }
  if (std::error_code e = file.Close()) return fail(e);

  constexpr DWORD kRename = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
  if (old == nullptr) {
    return ::MoveFileExW(temp.c_str(), name.c_str(), kRename)
               ? std::error_code()
               : fail(LastError());
  }
  if ((*old & kKeptAttributes) != 0) {
    ::SetFileAttributesW(temp.c_str(), *old & kKeptAttributes);
  }
  // With a backup name every failure leaves the old content findable.
  if (::ReplaceFileW(name.c_str(), temp.c_str(), backup.c_str(),
                     REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
    ::DeleteFileW(backup.c_str());
    return {};
  }
  const DWORD error = ::GetLastError();
  if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
    // The old file went to the backup name and the new one stayed: the old
    // one comes back.
    ::MoveFileExW(backup.c_str(), name.c_str(), MOVEFILE_WRITE_THROUGH);
    return fail(WindowsError(error));
  }
  ::DeleteFileW(backup.c_str());
  if (error == ERROR_FILE_NOT_FOUND) {
    // The old file went away meanwhile: the new one takes its name.
    return ::MoveFileExW(temp.c_str(), name.c_str(), kRename)
               ? std::error_code()
               : fail(LastError());
  }
  if (NothingReplaced(error)) *in_place_instead = true;
  return fail(WindowsError(error));
}

// The file a symbolic link leads to, by its full name.
bool FinalName(HANDLE h, std::wstring* name) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetFinalPathNameByHandleW(
        h, buffer.data(), static_cast<DWORD>(buffer.size()),
        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0) return false;
    if (n < buffer.size()) {
      buffer.resize(n);
      *name = std::move(buffer);
      return true;
    }
    buffer.resize(n + 1);
  }
}

}  // namespace

FileRead ReadRegularFile(const std::string& path, uint64_t max_size) {
  FileRead result;
  std::wstring name;
  if (!Widen(path, &name)) {
    result.error = FileErrc::kBadName;
    return result;
  }
  // Not even opened: opening a serial port raises its control lines.
  if (IsDevicePath(name)) {
    result.error = FileErrc::kNotRegularFile;
    return result;
  }
  const DWORD attributes = ::GetFileAttributesW(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    result.error = LastError();
    return result;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    result.error = Errc(std::errc::is_a_directory);
    return result;
  }
  Handle file(
      ::CreateFileW(name.c_str(), GENERIC_READ,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.ok()) {
    result.error = LastError();
    return result;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (::GetFileType(file.get()) != FILE_TYPE_DISK ||
      !::GetFileInformationByHandle(file.get(), &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    result.error = FileErrc::kNotRegularFile;
    return result;
  }
  uint64_t size = 0;
  if ((result.error = FileLength(file.get(), &size))) return result;
  if (size > max_size) {
    result.too_large = true;
    return result;
  }
  result.bytes.resize(static_cast<size_t>(size));
  size_t done = 0;
  while (done < result.bytes.size()) {
    DWORD n = 0;
    const DWORD piece = static_cast<DWORD>(
        std::min<size_t>(result.bytes.size() - done, kChunk));
    if (!::ReadFile(file.get(), result.bytes.data() + done, piece, &n,
                    nullptr)) {
      result.error = LastError();
      result.bytes.clear();
      return result;
    }
    if (n == 0) break;  // the file shrank meanwhile: take what is there
    done += n;
  }
  result.bytes.resize(done);
  return result;
}

std::error_code SaveFile(const std::string& path, const uint8_t* data,
                         size_t size, int stall_limit_ms) {
  std::wstring name;
  if (!Widen(path, &name)) return FileErrc::kBadName;
  const DWORD attributes = ::GetFileAttributesW(name.c_str());
  const bool known = attributes != INVALID_FILE_ATTRIBUTES;
  if (known && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return Errc(std::errc::is_a_directory);
  }
  // A read-only file is refused whoever asks, administrators too, as
  // Windows itself refuses a write into it.
  if (known && (attributes & FILE_ATTRIBUTE_READONLY)) {
    return Errc(std::errc::permission_denied);
  }
  const bool link = known && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);

  // Opened as a direct write would be: a file another program holds
  // without sharing is refused here with the reason.
  Handle file(OpenForWriting(name, OPEN_EXISTING));
  if (!file.ok()) {
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND) return WindowsError(error);
    // No such pipe or device: nobody reads at that name.
    if (IsDevicePath(name)) return Errc(std::errc::no_such_device_or_address);
    if (link) {
      // A dangling link: its target is created through it.
      Handle created(OpenForWriting(name, CREATE_NEW));
      if (!created.ok()) return LastError();
      if (std::error_code e = WriteInPlace(created.get(), data, size)) {
        return e;
      }
      return created.Close();
    }
    bool in_place = false;
    return ReplaceAtomically(name, data, size, nullptr, &in_place);
  }

  const DWORD type = ::GetFileType(file.get());
  if (type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE) {
    if (std::error_code e =
            WriteStream(file.get(), data, size, stall_limit_ms)) {
      return e;
    }
    return file.Close();
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (type != FILE_TYPE_DISK ||
      !::GetFileInformationByHandle(file.get(), &info)) {
    return FileErrc::kNotRegularFile;
  }
  if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {  // behind a link
    return Errc(std::errc::permission_denied);
  }
  // A file with more than one name is written in place for every name.
  if (info.nNumberOfLinks > 1) return WriteInPlace(file.get(), data, size);

  // A link stays a link: the file it leads to is replaced.
  std::wstring target = name;
  if (link && !FinalName(file.get(), &target)) return LastError();
  file.Close();
  bool in_place = false;
  const std::error_code e =
      ReplaceAtomically(target, data, size, &info.dwFileAttributes, &in_place);
  if (!in_place) return e;
  Handle again(OpenForWriting(target, OPEN_EXISTING));
  if (!again.ok()) return LastError();
  return WriteInPlace(again.get(), data, size);
}

bool IsStandardOutput(const std::string& path) {
  std::wstring name;
  if (!Widen(path, &name) || IsDevicePath(name)) return false;
  const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  BY_HANDLE_FILE_INFORMATION out_info;
  if (out == INVALID_HANDLE_VALUE || out == nullptr ||
      ::GetFileType(out) != FILE_TYPE_DISK ||
      !::GetFileInformationByHandle(out, &out_info)) {
    return false;
  }
  // Opened for no access at all: only to learn which file it is.
  Handle file(::CreateFileW(
      name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  return file.ok() && ::GetFileInformationByHandle(file.get(), &info) &&
         info.dwVolumeSerialNumber == out_info.dwVolumeSerialNumber &&
         info.nFileIndexHigh == out_info.nFileIndexHigh &&
         info.nFileIndexLow == out_info.nFileIndexLow;
}

bool WidePath(const std::string& utf8, std::wstring* wide) {
  return Widen(utf8, wide);
}

std::string NarrowPath(const std::wstring& wide) {
  if (wide.empty() || wide.size() > INT_MAX) return {};
  const int size = static_cast<int>(wide.size());
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0,
                                      nullptr, nullptr);
  std::string utf8(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) {
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), n,
                          nullptr, nullptr);
  }
  return utf8;
}

}  // namespace taktm
