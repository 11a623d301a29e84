#include "config/default_port.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <utility>

namespace taktm {
namespace {

std::string& DeviceFolder() {
  static std::string folder = "/dev";
  return folder;
}

// The number after `prefix` in `name` ("ttyUSB12" gives 12), or -1 when the
// name is not the prefix followed by digits alone.
long NumberAfter(const std::string& name, const std::string& prefix) {
  if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix)) {
    return -1;
  }
  const std::string digits = name.substr(prefix.size());
  const bool all_digits = std::all_of(digits.begin(), digits.end(), [](char c) {
    return c >= '0' && c <= '9';
  });
  if (!all_digits || digits.size() > 9) return -1;
  return std::strtol(digits.c_str(), nullptr, 10);
}

}  // namespace

std::string ChooseDefaultPort(const std::vector<std::string>& entries,
                              const std::string& folder) {
  for (const char* prefix : {"ttyUSB", "ttyACM"}) {
    long first = LONG_MAX;
    for (const std::string& name : entries) {
      const long n = NumberAfter(name, prefix);
      if (n >= 0 && n < first) first = n;
    }
    if (first != LONG_MAX) {
      return folder + "/" + prefix + std::to_string(first);
    }
  }
  return folder + "/" + kFallbackPortName;
}

std::string DefaultComPort() {
#ifdef _WIN32
  return kWindowsDefaultPort;
#else
  std::vector<std::string> names;
  std::error_code error;
  for (std::filesystem::directory_iterator it(DeviceFolder(), error), end;
       !error && it != end; it.increment(error)) {
    names.push_back(it->path().filename().string());
  }
  return ChooseDefaultPort(names, DeviceFolder());
#endif
}

void SetDeviceFolder(std::string folder) { DeviceFolder() = std::move(folder); }

}  // namespace taktm
