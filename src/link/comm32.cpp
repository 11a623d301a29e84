#include "link/comm32.h"

#include <QByteArray>
#include <QFileInfo>
#include <algorithm>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "link/port_access.h"
#endif

namespace taktm {
namespace {

// The most a single OnReceiveData call carries, as the hand-over area would.
constexpr qsizetype kHandOverSize = 4095;
constexpr uint16_t kSendAreaSize = 4096;

SerialPort::Parity ToQt(TParity p) {
  switch (p) {
    case pOdd:
      return SerialPort::OddParity;
    case pEven:
      return SerialPort::EvenParity;
    case pMark:
      return SerialPort::MarkParity;
    case pSpace:
      return SerialPort::SpaceParity;
    case pNone:
      break;
  }
  return SerialPort::NoParity;
}

SerialPort::DataBits ToQt(TBytesize s) {
  switch (s) {
    case sz_5:
      return SerialPort::Data5;
    case sz_6:
      return SerialPort::Data6;
    case sz_7:
      return SerialPort::Data7;
    case sz_4:  // no 4-bit mode on this platform: the setting is refused
    case sz_8:
      break;
  }
  return SerialPort::Data8;
}

SerialPort::StopBits ToQt(TStopBits b) {
  switch (b) {
    case sb1_5:
      return SerialPort::OneAndHalfStop;
    case sb2_0:
      return SerialPort::TwoStop;
    case sb1_0:
      break;
  }
  return SerialPort::OneStop;
}

SerialPort::FlowControl ToQt(TFlowControl f) {
  switch (f) {
    case fcHardware1:
    case fcHardware2:
      return SerialPort::HardwareControl;
    case fcSoftware:
      return SerialPort::SoftwareControl;
    case fcNone:
      break;
  }
  return SerialPort::NoFlowControl;
}

#ifdef Q_OS_UNIX
enum class NodeKind { kMissing, kCharacterDevice, kOther };

// Short names ("ttyUSB0") live in /dev.
QByteArray DevicePath(const QString& name) {
  QString path = name;
  if (!path.contains(QLatin1Char('/'))) path = QStringLiteral("/dev/") + name;
  return QFile::encodeName(path);
}

// QSerialPort cannot tell a regular file or a folder from a port that fails
// to open, so the name is looked at first.
NodeKind KindOf(const QString& name) {
  struct stat st;
  if (::stat(DevicePath(name).constData(), &st) != 0) {
    return NodeKind::kMissing;
  }
  return S_ISCHR(st.st_mode) ? NodeKind::kCharacterDevice : NodeKind::kOther;
}

// Who owns a port that this process may not read and write; nothing when
// the rights are there (the open failed for another reason, e.g. busy).
std::optional<PortOwnership> DeniedAccess(const QString& name) {
  const QByteArray path = DevicePath(name);
  if (::faccessat(AT_FDCWD, path.constData(), R_OK | W_OK, AT_EACCESS) == 0 ||
      errno != EACCES) {
    return std::nullopt;
  }
  struct stat st;
  if (::stat(path.constData(), &st) != 0) return std::nullopt;
  PortOwnership owner;
  owner.path = path.toStdString();
  const group* g = ::getgrgid(st.st_gid);
  owner.group = g != nullptr ? g->gr_name : std::to_string(st.st_gid);
  owner.group_may_use =
      (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
  const passwd* user = ::getpwuid(::geteuid());
  owner.user = user != nullptr ? user->pw_name : std::to_string(::geteuid());
  return owner;
}
#endif

}  // namespace

TComm32::TComm32(QObject* owner) : QObject(owner) {}

TComm32::~TComm32() = default;

void TComm32::SetBaudRate(uint32_t rate) {
  baud_rate_ = rate;
  ApplySettings();
}

void TComm32::SetByteSize(TBytesize size) {
  byte_size_ = size;
  ApplySettings();
}

void TComm32::SetParity(TParity parity) {
  parity_ = parity;
  ApplySettings();
}

void TComm32::SetStopBits(TStopBits bits) {
  stop_bits_ = bits;
  ApplySettings();
}

void TComm32::SetFlowControl(TFlowControl mode) {
  flow_control_ = mode;
  ApplySettings();
}

void TComm32::SetRxQueue(uint32_t size) { rx_queue_ = size; }

bool TComm32::ApplyLineSettings() {
  if (!port_ || !port_->isOpen()) return true;
  return port_->setBaudRate(static_cast<qint32>(baud_rate_)) &&
         port_->setDataBits(ToQt(byte_size_)) && byte_size_ != sz_4 &&
         port_->setParity(ToQt(parity_)) &&
         port_->setStopBits(ToQt(stop_bits_)) &&
         port_->setFlowControl(ToQt(flow_control_));
}

void TComm32::ApplySettings() { ApplyLineSettings(); }

bool TComm32::OpenPort() {
  if (open_ && !failed_) throw ECommsError(kPortAlreadyOpen);
#ifdef Q_OS_UNIX
  switch (KindOf(comm_port_)) {
    case NodeKind::kMissing:
      throw ECommsError(kCannotOpenPort, /*bare_open=*/true);
    case NodeKind::kOther:
      throw ECommsError(kNotACommPort);
    case NodeKind::kCharacterDevice:
      break;
  }
#endif
  auto port = std::make_unique<SerialPort>();
  port->setPortName(comm_port_);
  if (!port->open(QIODevice::ReadWrite)) {
#ifdef Q_OS_UNIX
    // Lacking rights is the usual first trouble with a USB adapter: say so
    // under the message, with the group that has them.
    if (const auto owner = DeniedAccess(comm_port_)) {
      throw ECommsError(std::string(kCannotOpenPort) + "\n\r" +
                        PortAccessDeniedLine(*owner));
    }
#endif
    // A character device that is no serial port refuses the line settings.
    if (port->error() == SerialPort::UnsupportedOperationError) {
      throw ECommsError(kBadPortParameters);
    }
    throw ECommsError(kCannotOpenPort, /*bare_open=*/true);
  }
  port_ = std::move(port);
  if (!ApplyLineSettings()) {
    port_->close();
    port_.reset();
    throw ECommsError(kBadPortParameters);
  }
  // Errors from here on are reported through the events, never raised.
  port_->clearError();
  connect(port_.get(), &SerialPort::readyRead, this, &TComm32::HandleReadyRead);
  connect(port_.get(), &SerialPort::bytesWritten, this,
          &TComm32::HandleBytesWritten);
  connect(port_.get(), &SerialPort::errorOccurred, this, &TComm32::HandleError);
  open_ = true;
  failed_ = false;
  return true;
}

bool TComm32::WriteData(const uint8_t* bytes, uint16_t count) {
  if (!open_ || failed_ || !port_ || count > kSendAreaSize) return false;
  // QSerialPort copies the bytes into its own write buffer and writes them
  // out in order, so no request is overwritten before it has left. The
  // flush hands them to the system at once, without blocking, instead of on
  // the event loop's next pass: the device waits for the frame.
  const char* data = reinterpret_cast<const char*>(bytes);
#ifdef Q_OS_UNIX
  // Nothing waiting in the component's buffer: hand the frame to the system
  // directly, which spares arming and disarming the write notifier. What
  // the system does not take (a full output queue, an error) goes through
  // the component as before, which reports any error in its own way.
  if (port_->bytesToWrite() == 0 && port_->handle() >= 0) {
    ssize_t n;
    do {
      n = ::write(port_->handle(), data, count);
    } while (n < 0 && errno == EINTR);
    if (n == count) {
      // As the component's own bytesWritten would say, inside its flush.
      if (OnTXEMPTY) OnTXEMPTY(this);
      return true;
    }
    if (n > 0) {
      data += n;
      count = static_cast<uint16_t>(count - n);
    }
  }
#endif
  writing_ = true;
  const qint64 taken = port_->write(data, count);
  if (taken > 0) port_->flush();
  writing_ = false;
  return taken == count;
}

bool TComm32::SetLineSignal(int escape_code) {
  if (!open_ || failed_ || !port_) return false;
  bool ok = false;
  switch (escape_code) {
    case kSetRts:
      ok = port_->setRequestToSend(true);
      break;
    case kClearRts:
      ok = port_->setRequestToSend(false);
      break;
    case kSetDtr:
      ok = port_->setDataTerminalReady(true);
      break;
    case kClearDtr:
      ok = port_->setDataTerminalReady(false);
      break;
    default:
      return false;
  }
  if (!ok) port_->clearError();  // a pty has no modem lines: not a failure
  return ok;
}

void TComm32::HandleReadyRead() {
  // Drain everything available: bytes that came in while a handler ran a
  // nested event loop (a modal box) are delivered here, in order.
  while (port_ && port_->isOpen() && port_->bytesAvailable() > 0) {
    const QByteArray chunk =
        port_->read(std::min(port_->bytesAvailable(), kHandOverSize));
    if (chunk.isEmpty()) break;
    if (OnReceiveData) {
      OnReceiveData(reinterpret_cast<const uint8_t*>(chunk.constData()),
                    static_cast<uint16_t>(chunk.size()));
    }
  }
}

void TComm32::HandleBytesWritten(qint64) {
  if (port_ && port_->bytesToWrite() == 0 && OnTXEMPTY) OnTXEMPTY(this);
}

void TComm32::HandleError(SerialPort::SerialPortError error) {
  switch (error) {
    case SerialPort::NoError:
    case SerialPort::UnsupportedOperationError:  // modem lines on a pty
    case SerialPort::TimeoutError:
      return;
    default:
      break;
  }
  if (failed_) return;
  if (writing_) {
    QMetaObject::invokeMethod(
        this,
        [this, error, port = port_.get()] {
          if (port_ && port_.get() == port) HandleError(error);
        },
        Qt::QueuedConnection);
    return;
  }
  failed_ = true;
  // Close the descriptor so a vanished device cannot wake the event loop
  // again and again; the port stays marked open, as after any thread
  // failure, until OpenPort succeeds again.
  port_->close();
  if (OnError) OnError(static_cast<uint32_t>(error));
  if (OnRequestHangup) OnRequestHangup(this);
}

}  // namespace taktm
