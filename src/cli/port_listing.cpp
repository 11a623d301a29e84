#include "cli/port_listing.h"

#include <cstdio>

namespace taktm {

std::string UsbIdText(uint16_t id) {
  char text[5];
  std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(id));
  return text;
}

std::string PortLine(const SerialPortEntry& port) {
  std::string ids = "-";
  if (port.vendor_id && port.product_id) {
    ids = UsbIdText(*port.vendor_id) + ":" + UsbIdText(*port.product_id);
  }
  return port.location + "\t" +
         (port.description.empty() ? "-" : port.description) + "\t" + ids;
}

}  // namespace taktm
