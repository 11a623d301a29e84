// The "Порт" field's text on a first run, when no port is stored yet.
#ifndef TAKT_CONFIG_DEFAULT_PORT_H_
#define TAKT_CONFIG_DEFAULT_PORT_H_

#include <string>
#include <vector>

namespace taktm {

// Windows numbers its ports; the first one is the usual guess there.
inline constexpr char kWindowsDefaultPort[] = "COM1";
// Where the first USB serial adapter appears on Linux.
inline constexpr char kFallbackPortName[] = "ttyUSB0";

// From the names of the entries of the device folder: the first USB serial
// port, adapters (ttyUSB0, ttyUSB1, ...) before modem-class devices
// (ttyACM0, ...), each by number; ttyUSB0 when there is none. The result is
// the entry's path in `folder`.
std::string ChooseDefaultPort(const std::vector<std::string>& entries,
                              const std::string& folder = "/dev");

// kWindowsDefaultPort on Windows; elsewhere ChooseDefaultPort over what the
// device folder holds now.
std::string DefaultComPort();

// The device folder DefaultComPort looks in: "/dev", or a folder of a test's
// own, so that no test ever opens a real adapter.
void SetDeviceFolder(std::string folder);

}  // namespace taktm

#endif  // TAKT_CONFIG_DEFAULT_PORT_H_
