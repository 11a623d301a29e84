// The serial ports of the machine as `takt-m-cli ports` lists them.
#ifndef TAKT_CLI_PORT_LISTING_H_
#define TAKT_CLI_PORT_LISTING_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace taktm {

struct SerialPortEntry {
  std::string name;      // "ttyUSB0", "COM3"
  std::string location;  // what --port takes: "/dev/ttyUSB0", "COM3"
  std::string description;
  std::string manufacturer;
  std::string serial_number;
  std::optional<uint16_t> vendor_id;  // USB ids, for adapters on USB
  std::optional<uint16_t> product_id;
};

// "1a2b": four lower-case hex digits, as udev rules and lsusb write them.
std::string UsbIdText(uint16_t id);

// One line: location, description, VID:PID, separated by tabs; "-" for
// what the port does not tell.
std::string PortLine(const SerialPortEntry& port);

// The ports the system knows of now, by location (Qt's QSerialPortInfo).
std::vector<SerialPortEntry> ListSerialPorts();

}  // namespace taktm

#endif  // TAKT_CLI_PORT_LISTING_H_
