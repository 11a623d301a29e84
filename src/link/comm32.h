// TComm32: the serial port component. Owns one port, opened exclusively with
// the configured line settings; hands every received chunk to OnReceiveData
// on the main thread in arrival order and writes frames complete and in order.
#ifndef TAKT_LINK_COMM32_H_
#define TAKT_LINK_COMM32_H_

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "link/serial_port.h"

namespace taktm {

enum TBytesize { sz_4, sz_5, sz_6, sz_7, sz_8 };
enum TParity { pNone, pOdd, pEven, pMark, pSpace };  // line parity codes 0..4
enum TStopBits { sb1_0, sb1_5, sb2_0 };
enum TFlowControl { fcNone, fcHardware1, fcHardware2, fcSoftware };

// Modem-control escape codes accepted by SetLineSignal.
inline constexpr int kSetRts = 3;
inline constexpr int kClearRts = 4;
inline constexpr int kSetDtr = 5;
inline constexpr int kClearDtr = 6;

// Raised by OpenPort; carries one Russian message, and whether the port
// could simply not be opened (absent, busy) with nothing said about why,
// so that the caller may add what to do without reading the text.
class ECommsError : public std::runtime_error {
 public:
  explicit ECommsError(const std::string& message, bool bare_open = false)
      : std::runtime_error(message), bare_open_(bare_open) {}
  // "Невозможно открыть порт!" and no second line.
  bool bare_open_failure() const { return bare_open_; }

 private:
  bool bare_open_;
};

inline constexpr char kPortAlreadyOpen[] = "Заданный порт уже открыт!";
// A port that exists but may not be read and written gets a second line
// after "\n\r" naming the group that owns it (link/port_access.h).
inline constexpr char kCannotOpenPort[] = "Невозможно открыть порт!";
inline constexpr char kNotACommPort[] = "Задан не COM-порт";
inline constexpr char kBadPortParameters[] = "Неверно заданы параметры порта!";
inline constexpr char kCannotCreateReadThread[] =
    "Невозможно создать Read thread";
inline constexpr char kCannotCreateWriteThread[] =
    "Невозможно создать Write thread";

class TComm32 : public QObject {
  Q_OBJECT

 public:
  using TReceiveDataEvent =
      std::function<void(const uint8_t* buffer, uint16_t buffer_length)>;
  using TNotifyEvent = std::function<void(TComm32* sender)>;
  using TErrorEvent = std::function<void(uint32_t error_code)>;

  explicit TComm32(QObject* owner = nullptr);
  ~TComm32() override;

  // Published properties; setters apply at once while the port is open.
  uint32_t BaudRate() const { return baud_rate_; }
  void SetBaudRate(uint32_t rate);
  TBytesize ByteSize() const { return byte_size_; }
  void SetByteSize(TBytesize size);
  TParity Parity() const { return parity_; }
  void SetParity(TParity parity);
  TStopBits StopBits() const { return stop_bits_; }
  void SetStopBits(TStopBits bits);
  const QString& CommPort() const { return comm_port_; }
  void SetCommPort(const QString& name) { comm_port_ = name; }
  TFlowControl FlowControl() const { return flow_control_; }
  void SetFlowControl(TFlowControl mode);
  uint32_t RxQueue() const { return rx_queue_; }
  void SetRxQueue(uint32_t size);
  uint32_t TxQueue() const { return tx_queue_; }
  void SetTxQueue(uint32_t size) { tx_queue_ = size; }
  char EventChar() const { return event_char_; }
  void SetEventChar(char c) { event_char_ = c; }

  // Opens CommPort exclusively with the line settings. Throws ECommsError.
  // A port that failed (the device vanished) may be opened again.
  bool OpenPort();
  bool IsOpen() const { return open_; }
  // No port carries bytes: it was never opened, or it failed since.
  bool NeedsOpening() const { return !open_ || failed_; }
  // Queues `count` bytes (at most 4,096) for writing; false before a
  // successful OpenPort or after the port failed.
  bool WriteData(const uint8_t* bytes, uint16_t count);
  // 3 RTS on, 4 RTS off, 5 DTR on, 6 DTR off; returns whether the line was
  // set (a pseudo-terminal has no modem lines and returns false).
  virtual bool SetLineSignal(int escape_code);

  TReceiveDataEvent OnReceiveData;
  TNotifyEvent OnRequestHangup;
  TNotifyEvent OnCommEvent, OnBreak, OnTXEMPTY, OnRX80FULL, OnPERR, OnEventChar;
  TNotifyEvent OnChangeCTS, OnChangeDSR, OnChangeRing, OnChangeRLSD;
  TNotifyEvent OnSetCTS, OnSetDSR, OnSetRing, OnSetRLSD;
  TNotifyEvent OnClearCTS, OnClearDSR, OnClearRing, OnClearRLSD;
  TErrorEvent OnError;

 private:
  void ApplySettings();
  bool ApplyLineSettings();
  void HandleReadyRead();
  void HandleBytesWritten(qint64 bytes);
  void HandleError(SerialPort::SerialPortError error);

  uint32_t baud_rate_ = 9600;
  TBytesize byte_size_ = sz_8;
  TParity parity_ = pNone;
  TStopBits stop_bits_ = sb1_0;
  QString comm_port_ = QStringLiteral("COM2");
  TFlowControl flow_control_ = fcNone;
  uint32_t rx_queue_ = 4096;
  uint32_t tx_queue_ = 4096;
  char event_char_ = 0;

  std::unique_ptr<SerialPort> port_;
  bool open_ = false;
  bool failed_ = false;
  // Inside WriteData: an error raised by the write is handled after it, not
  // in the middle of the caller's work.
  bool writing_ = false;
};

}  // namespace taktm

#endif  // TAKT_LINK_COMM32_H_
