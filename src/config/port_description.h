// What the settings dialog's port list tells about a port beside its name:
// the description and maker the system gives, the USB ids and serial number
// of an adapter. Shown as the item's tooltip, so the field's value stays the
// port's name.
#ifndef TAKT_CONFIG_PORT_DESCRIPTION_H_
#define TAKT_CONFIG_PORT_DESCRIPTION_H_

#include <cstdint>
#include <optional>
#include <string>

namespace taktm {

struct PortFacts {
  std::string description;
  std::string manufacturer;
  std::string serial_number;
  std::optional<uint16_t> vendor_id;
  std::optional<uint16_t> product_id;
};

// "USB-Serial Controller (Prolific), USB 067b:2303, серийный номер A1";
// empty when the port tells nothing.
std::string PortDescriptionText(const PortFacts& port);

}  // namespace taktm

#endif  // TAKT_CONFIG_PORT_DESCRIPTION_H_
