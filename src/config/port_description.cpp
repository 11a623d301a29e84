#include "config/port_description.h"

#include <cstdio>

namespace taktm {
namespace {

std::string Id(uint16_t id) {
  char text[5];
  std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(id));
  return text;
}

}  // namespace

std::string PortDescriptionText(const PortFacts& port) {
  std::string text = port.description;
  if (!port.manufacturer.empty() && port.manufacturer != port.description) {
    text += (text.empty() ? "" : " ") + ("(" + port.manufacturer + ")");
  }
  auto part = [&text](const std::string& more) {
    text += (text.empty() ? "" : ", ") + more;
  };
  if (port.vendor_id && port.product_id) {
    part("USB " + Id(*port.vendor_id) + ":" + Id(*port.product_id));
  }
  if (!port.serial_number.empty()) {
    part("серийный номер " + port.serial_number);
  }
  return text;
}

}  // namespace taktm
