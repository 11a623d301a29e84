// The line added under "Невозможно открыть порт!" when the port exists but
// the user may not read and write it: whose it is and what to do.
#ifndef TAKT_LINK_PORT_ACCESS_H_
#define TAKT_LINK_PORT_ACCESS_H_

#include <string>

namespace taktm {

struct PortOwnership {
  std::string path;    // the device node
  std::string group;   // the group that owns it, by name (or number)
  bool group_may_use;  // that group may read and write it
  std::string user;    // who tried to open it
};

// One line, without a line break.
std::string PortAccessDeniedLine(const PortOwnership& owner);

}  // namespace taktm

#endif  // TAKT_LINK_PORT_ACCESS_H_
