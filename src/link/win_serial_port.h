// WinSerialPort: a serial port on Windows through the system's own calls,
// for builds without Qt's serial port module. It offers the part of that
// module's interface the serial port component uses, so TComm32 is the same
// code on every system. Reading and writing run on two threads of its own;
// what they do reaches the owner's thread as readyRead, bytesWritten and
// errorOccurred.
#ifndef TAKT_LINK_WIN_SERIAL_PORT_H_
#define TAKT_LINK_WIN_SERIAL_PORT_H_

#include <QByteArray>
#include <QIODevice>
#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace taktm {

class WinSerialPort : public QObject {
  Q_OBJECT

 public:
  enum Parity { NoParity, EvenParity, OddParity, SpaceParity, MarkParity };
  enum DataBits { Data5 = 5, Data6, Data7, Data8 };
  enum StopBits { OneStop, OneAndHalfStop, TwoStop };
  enum FlowControl { NoFlowControl, HardwareControl, SoftwareControl };
  enum SerialPortError {
    NoError,
    DeviceNotFoundError,
    PermissionError,
    OpenError,
    WriteError,
    ReadError,
    ResourceError,
    UnsupportedOperationError,
    UnknownError,
    TimeoutError,
    NotOpenError,
  };
  Q_ENUM(SerialPortError)

  explicit WinSerialPort(QObject* parent = nullptr);
  ~WinSerialPort() override;

  // The names of the machine's serial ports ("COM3"), sorted.
  static QStringList AvailablePortNames();

  void setPortName(const QString& name) { name_ = name; }
  bool open(QIODevice::OpenMode mode);
  void close();
  bool isOpen() const { return handle_ != nullptr; }

  bool setBaudRate(qint32 rate);
  bool setDataBits(DataBits bits);
  bool setParity(Parity parity);
  bool setStopBits(StopBits bits);
  bool setFlowControl(FlowControl flow);
  bool setRequestToSend(bool on);
  bool setDataTerminalReady(bool on);

  SerialPortError error() const { return error_; }
  void clearError() { error_ = NoError; }

  qint64 write(const char* data, qint64 size);
  // The writing thread takes every frame as it is queued: nothing to push.
  bool flush() { return isOpen(); }
  qint64 bytesToWrite() const;
  qint64 bytesAvailable() const { return received_.size(); }
  QByteArray read(qint64 max_size);

 signals:
  void readyRead();
  void bytesWritten(qint64 bytes);
  void errorOccurred(WinSerialPort::SerialPortError error);

 private:
  bool ApplyLine();
  bool Escape(unsigned function);
  void SetError(SerialPortError error);
  void ReadLoop(unsigned generation);
  void WriteLoop(unsigned generation);
  void Failed(unsigned generation, SerialPortError error);

  QString name_;
  void* handle_ = nullptr;  // the port's HANDLE, opened for overlapped I/O
  qint32 baud_rate_ = 9600;
  DataBits data_bits_ = Data8;
  Parity parity_ = NoParity;
  StopBits stop_bits_ = OneStop;
  FlowControl flow_ = NoFlowControl;
  SerialPortError error_ = NoError;
  QByteArray received_;

  // Set when the port closes; both threads end.
  std::atomic<bool> stopping_{false};
  // Data posted by the threads of an earlier opening is dropped.
  unsigned generation_ = 0;
  std::thread reader_;
  std::thread writer_;
  mutable std::mutex write_mutex_;
  std::condition_variable write_wake_;
  std::deque<QByteArray> write_queue_;
  qint64 write_pending_ = 0;  // queued and not yet written, under the mutex
};

}  // namespace taktm

#endif  // TAKT_LINK_WIN_SERIAL_PORT_H_
