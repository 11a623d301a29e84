#include <algorithm>

#include "cli/port_listing.h"

#ifdef TAKT_OWN_SERIAL_PORT
#include "link/win_serial_port.h"
#else
#include <QSerialPortInfo>
#endif

namespace taktm {

std::vector<SerialPortEntry> ListSerialPorts() {
  std::vector<SerialPortEntry> ports;
#ifdef TAKT_OWN_SERIAL_PORT
  // The system's own list tells names only.
  for (const QString& name : WinSerialPort::AvailablePortNames()) {
    SerialPortEntry port;
    port.name = port.location = name.toStdString();
    ports.push_back(std::move(port));
  }
#else
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
    SerialPortEntry port;
    port.name = info.portName().toStdString();
#ifdef Q_OS_WIN
    port.location = port.name;  // "COM3", not "\\.\COM3"
#else
    port.location = info.systemLocation().toStdString();
#endif
    port.description = info.description().toStdString();
    port.manufacturer = info.manufacturer().toStdString();
    port.serial_number = info.serialNumber().toStdString();
    if (info.hasVendorIdentifier()) port.vendor_id = info.vendorIdentifier();
    if (info.hasProductIdentifier()) port.product_id = info.productIdentifier();
    ports.push_back(std::move(port));
  }
#endif
  std::sort(ports.begin(), ports.end(),
            [](const SerialPortEntry& a, const SerialPortEntry& b) {
              return a.location < b.location;
            });
  return ports;
}

}  // namespace taktm
