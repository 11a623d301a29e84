// The serial port class TComm32 drives: Qt's where its serial port module is
// built, the program's own Windows one where it is not.
#ifndef TAKT_LINK_SERIAL_PORT_H_
#define TAKT_LINK_SERIAL_PORT_H_

#ifdef TAKT_OWN_SERIAL_PORT
#include "link/win_serial_port.h"
namespace taktm {
using SerialPort = WinSerialPort;
}  // namespace taktm
#else
#include <QSerialPort>
namespace taktm {
using SerialPort = QSerialPort;
}  // namespace taktm
#endif

#endif  // TAKT_LINK_SERIAL_PORT_H_
