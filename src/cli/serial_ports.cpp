#include <QSerialPortInfo>
#include <algorithm>

#include "cli/port_listing.h"

namespace taktm {

std::vector<SerialPortEntry> ListSerialPorts() {
  std::vector<SerialPortEntry> ports;
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
  std::sort(ports.begin(), ports.end(),
            [](const SerialPortEntry& a, const SerialPortEntry& b) {
              return a.location < b.location;
            });
  return ports;
}

}  // namespace taktm
