#include "link/win_serial_port.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <QMetaObject>
#include <QRegularExpression>
#include <algorithm>
#include <vector>

namespace taktm {
namespace {

HANDLE H(void* h) { return static_cast<HANDLE>(h); }

// One overlapped transfer waited for to its end; false on failure, with
// the system's code in *error (ERROR_OPERATION_ABORTED when the port
// closed under it).
bool Transfer(HANDLE port, bool reading, char* data, DWORD size, DWORD* done,
              DWORD* error) {
  OVERLAPPED ov{};
  ov.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (ov.hEvent == nullptr) {
    *error = ::GetLastError();
    return false;
  }
  const BOOL started = reading ? ::ReadFile(port, data, size, nullptr, &ov)
                               : ::WriteFile(port, data, size, nullptr, &ov);
  bool ok = started || ::GetLastError() == ERROR_IO_PENDING;
  if (ok) ok = ::GetOverlappedResult(port, &ov, done, TRUE) != 0;
  if (!ok) *error = ::GetLastError();
  ::CloseHandle(ov.hEvent);
  return ok;
}

WinSerialPort::SerialPortError OpenErrorOf(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return WinSerialPort::DeviceNotFoundError;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return WinSerialPort::PermissionError;
    default:
      return WinSerialPort::OpenError;
  }
}

}  // namespace

WinSerialPort::WinSerialPort(QObject* parent) : QObject(parent) {}

WinSerialPort::~WinSerialPort() { close(); }

QStringList WinSerialPort::AvailablePortNames() {
  QStringList names;
  // The ports the drivers announce.
  HKEY key;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0,
                      KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
    for (DWORD i = 0;; ++i) {
      wchar_t value_name[256];
      DWORD name_size = 256;
      wchar_t data[64];
      DWORD data_size = sizeof data;
      DWORD type = 0;
      const LONG r =
          ::RegEnumValueW(key, i, value_name, &name_size, nullptr, &type,
                          reinterpret_cast<BYTE*>(data), &data_size);
      if (r == ERROR_NO_MORE_ITEMS) break;
      if (r != ERROR_SUCCESS || type != REG_SZ) continue;
      names << QString::fromWCharArray(
                   data, static_cast<int>(data_size / sizeof(wchar_t)))
                   .remove(QChar(0));
    }
    ::RegCloseKey(key);
  }
  // And every COM name the system has, such as a port mapped by hand.
  std::vector<wchar_t> devices(1 << 16);
  const DWORD n = ::QueryDosDeviceW(nullptr, devices.data(),
                                    static_cast<DWORD>(devices.size()));
  const QRegularExpression com(QStringLiteral("^COM[0-9]+$"),
                               QRegularExpression::CaseInsensitiveOption);
  for (DWORD at = 0; at < n && devices[at] != 0;) {
    const QString name = QString::fromWCharArray(&devices[at]);
    if (com.match(name).hasMatch()) names << name.toUpper();
    at += static_cast<DWORD>(name.size()) + 1;
  }
  names.removeDuplicates();
  // COM2 before COM10.
  std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  });
  return names;
}

bool WinSerialPort::open(QIODevice::OpenMode) {
  if (isOpen()) {
    SetError(OpenError);
    return false;
  }
  const QString path = name_.startsWith(QStringLiteral("\\\\.\\"))
                           ? name_
                           : QStringLiteral("\\\\.\\") + name_;
  const HANDLE h = ::CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()),
                                 GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    SetError(OpenErrorOf(::GetLastError()));
    return false;
  }
  // Anything else than a serial port has no line state.
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!::GetCommState(h, &dcb)) {
    ::CloseHandle(h);
    SetError(UnsupportedOperationError);
    return false;
  }
  // A read waits for its first byte, however long; the rest of what has
  // come is then read at once (ReadLoop).
  COMMTIMEOUTS timeouts{};
  ::SetCommTimeouts(h, &timeouts);
  ::SetupComm(h, 4096, 4096);
  ::PurgeComm(h, PURGE_RXCLEAR | PURGE_TXCLEAR);
  handle_ = h;
  if (!ApplyLine()) {
    // As Qt's module does: the port stays open, the setting failed.
    clearError();
  }
  received_.clear();
  write_pending_ = 0;
  stopping_ = false;
  const unsigned generation = ++generation_;
  reader_ = std::thread([this, generation] { ReadLoop(generation); });
  writer_ = std::thread([this, generation] { WriteLoop(generation); });
  return true;
}

void WinSerialPort::close() {
  if (!isOpen()) return;
  stopping_ = true;
  {
    const std::lock_guard<std::mutex> lock(write_mutex_);
    write_queue_.clear();
    write_pending_ = 0;
  }
  write_wake_.notify_all();
  // Ends a read waiting for a byte and a write waiting for the line.
  ::CancelIoEx(H(handle_), nullptr);
  if (reader_.joinable()) reader_.join();
  if (writer_.joinable()) writer_.join();
  ::CloseHandle(H(handle_));
  handle_ = nullptr;
  ++generation_;
}

bool WinSerialPort::ApplyLine() {
  if (!isOpen()) return true;
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!::GetCommState(H(handle_), &dcb)) {
    SetError(UnsupportedOperationError);
    return false;
  }
  dcb.BaudRate = static_cast<DWORD>(baud_rate_);
  dcb.ByteSize = static_cast<BYTE>(data_bits_);
  switch (parity_) {
    case EvenParity:
      dcb.Parity = EVENPARITY;
      break;
    case OddParity:
      dcb.Parity = ODDPARITY;
      break;
    case SpaceParity:
      dcb.Parity = SPACEPARITY;
      break;
    case MarkParity:
      dcb.Parity = MARKPARITY;
      break;
    case NoParity:
      dcb.Parity = NOPARITY;
      break;
  }
  dcb.fParity = parity_ != NoParity;
  dcb.StopBits = stop_bits_ == TwoStop          ? TWOSTOPBITS
                 : stop_bits_ == OneAndHalfStop ? ONE5STOPBITS
                                                : ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fOutxCtsFlow = flow_ == HardwareControl;
  dcb.fRtsControl =
      flow_ == HardwareControl ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
  dcb.fOutX = dcb.fInX = flow_ == SoftwareControl;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fAbortOnError = FALSE;
  dcb.fNull = FALSE;
  if (!::SetCommState(H(handle_), &dcb)) {
    SetError(UnsupportedOperationError);
    return false;
  }
  return true;
}

bool WinSerialPort::setBaudRate(qint32 rate) {
  baud_rate_ = rate;
  return ApplyLine();
}

bool WinSerialPort::setDataBits(DataBits bits) {
  data_bits_ = bits;
  return ApplyLine();
}

bool WinSerialPort::setParity(Parity parity) {
  parity_ = parity;
  return ApplyLine();
}

bool WinSerialPort::setStopBits(StopBits bits) {
  stop_bits_ = bits;
  return ApplyLine();
}

bool WinSerialPort::setFlowControl(FlowControl flow) {
  flow_ = flow;
  return ApplyLine();
}

bool WinSerialPort::Escape(unsigned function) {
  if (!isOpen()) {
    SetError(NotOpenError);
    return false;
  }
  if (::EscapeCommFunction(H(handle_), function)) return true;
  SetError(UnsupportedOperationError);
  return false;
}

bool WinSerialPort::setRequestToSend(bool on) {
  return Escape(on ? SETRTS : CLRRTS);
}

bool WinSerialPort::setDataTerminalReady(bool on) {
  return Escape(on ? SETDTR : CLRDTR);
}

void WinSerialPort::SetError(SerialPortError error) {
  error_ = error;
  emit errorOccurred(error);
}

qint64 WinSerialPort::write(const char* data, qint64 size) {
  if (!isOpen()) {
    SetError(NotOpenError);
    return -1;
  }
  if (size <= 0) return 0;
  {
    const std::lock_guard<std::mutex> lock(write_mutex_);
    write_queue_.emplace_back(data, static_cast<qsizetype>(size));
    write_pending_ += size;
  }
  write_wake_.notify_one();
  return size;
}

qint64 WinSerialPort::bytesToWrite() const {
  const std::lock_guard<std::mutex> lock(write_mutex_);
  return write_pending_;
}

QByteArray WinSerialPort::read(qint64 max_size) {
  const qsizetype n =
      static_cast<qsizetype>(std::min<qint64>(max_size, received_.size()));
  QByteArray chunk = received_.left(n);
  received_.remove(0, n);
  return chunk;
}

void WinSerialPort::Failed(unsigned generation, SerialPortError error) {
  QMetaObject::invokeMethod(
      this,
      [this, generation, error] {
        if (generation == generation_) SetError(error);
      },
      Qt::QueuedConnection);
}

void WinSerialPort::ReadLoop(unsigned generation) {
  const HANDLE port = H(handle_);
  while (!stopping_) {
    char first = 0;
    DWORD got = 0;
    DWORD error = 0;
    if (!Transfer(port, true, &first, 1, &got, &error)) {
      if (!stopping_ && error != ERROR_OPERATION_ABORTED) {
        Failed(generation, ResourceError);
      }
      return;
    }
    if (got == 0) continue;
    QByteArray chunk(1, first);
    // Whatever else has come, in the same hand-over.
    DWORD errors = 0;
    COMSTAT status{};
    if (::ClearCommError(port, &errors, &status) && status.cbInQue > 0) {
      chunk.resize(1 + static_cast<qsizetype>(status.cbInQue));
      DWORD more = 0;
      if (!Transfer(port, true, chunk.data() + 1, status.cbInQue, &more,
                    &error)) {
        more = 0;
      }
      chunk.resize(1 + static_cast<qsizetype>(more));
    }
    QMetaObject::invokeMethod(
        this,
        [this, generation, chunk] {
          if (generation != generation_) return;
          received_.append(chunk);
          emit readyRead();
        },
        Qt::QueuedConnection);
  }
}

void WinSerialPort::WriteLoop(unsigned generation) {
  const HANDLE port = H(handle_);
  for (;;) {
    QByteArray data;
    {
      std::unique_lock<std::mutex> lock(write_mutex_);
      write_wake_.wait(lock,
                       [this] { return stopping_ || !write_queue_.empty(); });
      if (stopping_) return;
      data = std::move(write_queue_.front());
      write_queue_.pop_front();
    }
    DWORD written = 0;
    DWORD error = 0;
    const bool ok = Transfer(port, false, data.data(),
                             static_cast<DWORD>(data.size()), &written, &error);
    {
      const std::lock_guard<std::mutex> lock(write_mutex_);
      if (stopping_) return;  // close() has emptied the queue
      write_pending_ -= data.size();
    }
    if (!ok || written != static_cast<DWORD>(data.size())) {
      Failed(generation, WriteError);
      return;
    }
    QMetaObject::invokeMethod(
        this,
        [this, generation, written] {
          if (generation == generation_) emit bytesWritten(written);
        },
        Qt::QueuedConnection);
  }
}

}  // namespace taktm
